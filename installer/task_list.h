// The package's task list ("##tasks##.txt"): one task per line, a verb, one space and
// its arguments. Reading, splitting and the serialised form are portable; running the
// tasks is task_runner.h's.
//
// A task file holds 1 to kMaxTaskFileSize bytes: UTF-16LE after the mark FF FE, else
// text in the system's ANSI code page (UTF-16 big-endian is refused). Lines end with
// CR, LF or CR LF and are trimmed of spaces, tabs, CR and LF. The serialised form (a
// memory entry's data, and block 3 of the uninstall record) is a u32 line count, then
// each line as a u32 length in UTF-16 units and its UTF-16LE units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zavro {

constexpr size_t kMaxTaskFileSize = 1048576;
constexpr char16_t kTaskFileName[] = u"##tasks##.txt";

// Appends the lines of a task file; false (appending nothing) when it cannot be read,
// is empty, larger than kMaxTaskFileSize or big-endian UTF-16.
bool ReadTaskFile(const std::u16string& path, std::vector<std::u16string>& lines);
// The same for a task file's bytes.
bool ParseTaskFile(const unsigned char* data, size_t size, std::vector<std::u16string>& lines);

std::vector<unsigned char> SerializeTaskList(const std::vector<std::u16string>& lines);
// Appends the lines of a serialised task list; false, appending nothing, when the bytes
// are shorter than their counts say. Bytes after the last line are not looked at.
bool ParseTaskList(const unsigned char* data, size_t size, std::vector<std::u16string>& lines);

// The verb (the text before the first space, or the whole line) and the arguments (the
// rest after that one space, untrimmed). Verbs compare exactly.
void SplitTaskLine(const std::u16string& line, std::u16string& verb, std::u16string& arguments);
// An argument without its surrounding double quotes, when it has both.
std::u16string Unquote(const std::u16string& argument);
// Tokenises a task line: only the space separates, a token that starts with a double
// quote runs to the next double quote, and quotes stay part of the tokens.
void SplitArguments(const std::u16string& line, std::vector<std::u16string>& list);

// The tasks-only run's rewrite: `folder` (with one trailing backslash) goes in front of
// the command line of every "runcheck..." line (after its second space) and every other
// "run..." line (after its first space); at the start of a line without that space.
void InsertWorkingFolder(std::vector<std::u16string>& lines, std::u16string folder);

}  // namespace Zavro
