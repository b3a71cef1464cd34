// gmz extract, gmz test and gmz split.
#include <CLI/CLI.hpp>

#include <memory>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/unpacker.h"
#include "system/encoding.h"
#include "system/file_system.h"
#include "system/format.h"
#include "system/system_error.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/tool_support.h"

namespace Zavro::gmz {

namespace {

struct ExtractOptions {
  std::string archive;
  std::string directory = ".";
  bool volumes = false;
  bool absoluteNames = false;
  bool replaceLocked = false;
};

struct SplitOptions {
  std::string archive;
  uint64_t size = 0;
  std::string base;
};

// Takes whatever it is given and counts it.
class CountingSink : public GMBaseFile {
 public:
  explicit CountingSink(uint64_t& total) : total_(total) {}
  bool Read(void*, uint32_t, uint32_t& bytesRead) override {
    bytesRead = 0;
    return false;
  }
  bool Write(const void*, uint32_t length, uint32_t& bytesWritten) override {
    bytesWritten = length;
    written_ += length;
    total_ += length;
    return true;
  }
  bool Close() override { return true; }
  bool GetPosition(uint64_t& position) override {
    position = written_;
    return true;
  }
  bool GetSize(uint64_t& size) override {
    size = written_;
    return true;
  }
  bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) override {
    newPosition = written_;
    return distance == 0;
  }
  bool SetTimes(FileTime, FileTime, FileTime) override { return true; }

 private:
  uint64_t& total_;
  uint64_t written_ = 0;
};

// Decodes everything and writes nothing: every stream, the solid block and every size
// are checked as an extraction would check them.
class ArchiveTester : public GMUnpacker {
 public:
  using GMUnpacker::GMUnpacker;
  std::unique_ptr<GMBaseFile> OpenOutput(GMTocNode&, const std::u16string&, uint32_t) override {
    ++files_;
    return std::make_unique<CountingSink>(bytes_);
  }
  bool CreateFolder(const std::u16string&) override { return true; }
  bool IsFileInTheWay(const std::u16string&) override { return false; }
  void FinishFolder(GMTocNode&) override {}
  bool OnEntryDone(GMTocNode& entry) override {
    if (entry.IsMemory()) bytes_ += entry.buffer.Length();
    return true;
  }
  uint64_t Bytes() const { return bytes_; }
  uint64_t Files() const { return files_; }

 private:
  uint64_t bytes_ = 0;
  uint64_t files_ = 0;
};

int OpenFailure(GMUnpacker& reader, const std::string& archive) {
  const std::u16string message = reader.GetLastErrorMessage();
  return Fail(message.empty() ? "cannot open " + archive : PathForDisplay(message));
}

// The archive's checksum, before anything is written: false (after the message) when it
// does not match. An archive made before packages were checked has none.
bool ChecksumHolds(GMUnpacker& reader, const std::string& archive) {
  if (reader.VerifyChecksum() != GMUnpacker::Checksum::kDamaged) return true;
  const std::u16string message = reader.GetLastErrorMessage();
  Fail(archive + ": the package's checksum does not match" + (message.empty() ? "" : " (" + PathForDisplay(message) + ")") +
       "; nothing was written");
  return false;
}

bool HasAbsoluteName(const GMTocNode& root, std::u16string& found) {
  std::vector<const GMTocNode*> pending{&root};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    if (node != &root && GMUnpacker::IsAbsoluteName(node->name)) {
      found = node->name;
      return true;
    }
    for (const auto& child : node->children) pending.push_back(child.get());
  }
  return false;
}

int RunExtract(const ExtractOptions& o) {
  WatchInterrupt();
  GMUnpacker reader(PathFromArgument(o.archive));
  if (!reader.Open(o.volumes)) return OpenFailure(reader, o.archive);
  if (!ChecksumHolds(reader, o.archive)) return kExitFailure;
  std::u16string absolute;
  if (!o.absoluteNames && HasAbsoluteName(reader.Root(), absolute)) {
    return Fail("the archive holds an absolute entry name (" + PathForDisplay(absolute) +
                "); nothing was written. Use --absolute-names to extract it there.");
  }
  std::u16string target;
  size_t split = 0;
  if (!FullPath(PathFromArgument(o.directory), target, split)) {
    return Fail("cannot use the folder " + o.directory + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
  }
  ConsoleProgress progress("extracting");
  progress.SetTotal(reader.TotalBytes());
  progress.OnInterrupted([&reader] { reader.Cancel(); });
  reader.SetObserver(&progress);
  reader.SetReplaceLockedFiles(o.replaceLocked);
  reader.SetAbsoluteNames(o.absoluteNames);
  const bool ok = reader.Extract(target);
  if (reader.IsCancelled()) return Fail("cancelled; the files written so far stay");
  if (!ok) return OpenFailure(reader, o.archive);
  return kExitSuccess;
}

int RunTest(const ExtractOptions& o) {
  WatchInterrupt();
  ArchiveTester tester(PathFromArgument(o.archive));
  if (!tester.Open(o.volumes)) return OpenFailure(tester, o.archive);
  if (!ChecksumHolds(tester, o.archive)) return kExitFailure;
  ConsoleProgress progress("testing");
  progress.SetTotal(tester.TotalBytes());
  progress.OnInterrupted([&tester] { tester.Cancel(); });
  tester.SetObserver(&progress);
  const bool ok = tester.Extract(u"");
  if (tester.IsCancelled()) return Fail("cancelled");
  if (!ok) return OpenFailure(tester, o.archive);
  std::printf("%s: ok, %llu files and %llu bytes from %llu bytes of data in %zu volume%s, %s\n", o.archive.c_str(),
              static_cast<unsigned long long>(tester.Files()), static_cast<unsigned long long>(tester.Bytes()),
              static_cast<unsigned long long>(tester.TotalBytes()), tester.VolumeCount(),
              tester.VolumeCount() == 1 ? "" : "s",
              tester.HasChecksum() ? "checksum matches" : "no checksum (made before packages were checked)");
  return kExitSuccess;
}

int RunSplit(const SplitOptions& o) {
  if (o.size == 0) {
    std::fprintf(stderr, "gmz split: --size must be at least 1\n");
    return kExitUsage;
  }
  // The reader takes the header and the whole table from the first volume.
  GMUnpacker probe(PathFromArgument(o.archive));
  if (!probe.Open(false)) return OpenFailure(probe, o.archive);
  const uint64_t firstMinimum = 8 + static_cast<uint64_t>(probe.TocSize());

  GMFile input;
  uint64_t size = 0;
  if (!input.Open(PathFromArgument(o.archive), kGenericRead, kFileShareRead, kOpenExisting, 0) ||
      !input.GetSize(size)) {
    return Fail("cannot read " + o.archive + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
  }
  const std::u16string base = PathFromArgument(o.base.empty() ? o.archive : o.base);
  // Enough volumes for the table and for the rest; a tiny size would make millions.
  const uint64_t count = 1 + (size > firstMinimum ? (size - std::max(o.size, firstMinimum) + o.size - 1) / o.size : 0);
  if (count > 100000) {
    std::fprintf(stderr, "gmz split: --size %llu makes %llu volumes; at most 100000\n",
                 static_cast<unsigned long long>(o.size), static_cast<unsigned long long>(count));
    return kExitUsage;
  }
  // No volume, new or stale, may be the archive being split: writing it would truncate
  // the input, deleting it would lose it.
  std::u16string fullInput;
  size_t at = 0;
  if (!FullPath(PathFromArgument(o.archive), fullInput, at)) {
    return Fail("cannot use the path " + o.archive + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
  }
  auto isInput = [&](const std::u16string& name) {
    std::u16string full;
    size_t split = 0;
    return !FullPath(name, full, split) || IsSamePath(full, fullInput);
  };
  auto volumeName = [&](uint64_t index) { return VolumeName(base, index); };
  for (uint64_t index = 0; index < count; ++index) {
    if (isInput(volumeName(index))) {
      return Fail("the volume " + PathForDisplay(volumeName(index)) +
                  " would overwrite the archive itself; choose another -o BASE");
    }
  }
  std::vector<unsigned char> chunk(1 << 20);
  uint64_t done = 0;
  std::vector<std::u16string> written;
  auto cleanup = [&] {
    for (const auto& path : written) DeleteFileForced(path);
  };
  for (uint64_t index = 0; done < size || index == 0; ++index) {
    const uint64_t part = index == 0 ? std::max(o.size, firstMinimum) : o.size;
    const std::u16string name = volumeName(index);
    GMFile output;
    if (!output.Open(name, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal)) {
      const uint32_t error = LastSystemError();
      cleanup();
      return Fail("cannot create " + PathForDisplay(name) + ": " + ToUtf8(SystemErrorMessage(error)));
    }
    written.push_back(name);
    uint64_t left = std::min(part, size - done);
    while (left != 0) {
      uint32_t n = 0;
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, chunk.size()));
      uint32_t w = 0;
      if (!input.Read(chunk.data(), want, n) || n == 0 || !output.Write(chunk.data(), n, w)) {
        const uint32_t error = LastSystemError();
        output.Close();
        cleanup();
        return Fail("cannot split " + o.archive + ": " + ToUtf8(SystemErrorMessage(error)));
      }
      left -= n;
      done += n;
    }
    if (!output.Close()) {
      cleanup();
      return Fail("cannot write " + PathForDisplay(name));
    }
  }
  // Volumes of an earlier split beyond this one's last would be read as part of it.
  for (uint64_t index = written.size();; ++index) {
    const std::u16string stale = volumeName(index);
    if (isInput(stale) || !IsFile(stale) || !DeleteFileForced(stale)) break;
  }
  std::printf("%zu volumes: %s to %s\n", written.size(), PathForDisplay(volumeName(0)).c_str(),
              PathForDisplay(volumeName(written.size() - 1)).c_str());
  return kExitSuccess;
}

}  // namespace

void AddExtractCommands(CLI::App& app, Action& action) {
  auto extract = std::make_shared<ExtractOptions>();
  CLI::App* e = app.add_subcommand("extract", "Extract an archive into a folder");
  e->add_option("ARCHIVE", extract->archive, "The archive (the first volume's name, or their base name)")->required();
  e->add_option("-C,--directory", extract->directory, "Folder to extract into")->capture_default_str();
  e->add_flag("--volumes", extract->volumes, "Read ARCHIVE.part0, ARCHIVE.part1, ...");
  e->add_flag("--absolute-names", extract->absoluteNames, "Write entries with absolute names where they say");
  e->add_flag("--replace-locked", extract->replaceLocked, "Move locked files aside (deleted at the next restart)");
  e->callback([extract, &action] { action = [extract] { return RunExtract(*extract); }; });

  auto test = std::make_shared<ExtractOptions>();
  CLI::App* t = app.add_subcommand("test", "Decode every stream of an archive and check every size");
  t->add_option("ARCHIVE", test->archive, "The archive")->required();
  t->add_flag("--volumes", test->volumes, "Read ARCHIVE.part0, ARCHIVE.part1, ...");
  t->callback([test, &action] { action = [test] { return RunTest(*test); }; });

  auto split = std::make_shared<SplitOptions>();
  CLI::App* s = app.add_subcommand("split", "Split an archive into volumes BASE.part0, BASE.part1, ...");
  s->add_option("ARCHIVE", split->archive, "The archive")->required();
  s->add_option("--size", split->size, "Bytes per volume (the first one holds at least the table)")->required();
  s->add_option("-o,--output", split->base, "Base name of the volumes (default: ARCHIVE)");
  s->callback([split, &action] { action = [split] { return RunSplit(*split); }; });
}

}  // namespace Zavro::gmz
