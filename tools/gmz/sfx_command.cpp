// gmz sfx: an installer (setup.exe) assembled from the installer stub and a package, on
// any system; and what an assembled installer holds.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <functional>
#include <memory>

#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "archive/unpacker.h"
#include "system/encoding.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/known_folders.h"
#include "system/system_error.h"
#include "tools/gmz/commands.h"
#include "tools/pe/pe_format.h"
#include "tools/gmz/console.h"
#include "tools/gmz/tool_support.h"
#include "tools/pe/pe_image.h"

namespace Zavro::gmz {

namespace {

struct SfxOptions {
  std::string stub;
  std::string package;
  std::string output;
  std::string info;
};

std::string SystemReason() { return ToUtf8(SystemErrorMessage(LastSystemError())); }

// "1,234,567"
std::string Grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

std::string IdText(const pe::ResourceId& id) {
  return id.isNumber ? std::to_string(id.number) : "\"" + pe::Printable(id.text) + "\"";
}

// The entries of a package whose checksum (when it has one) matches; -1 with the reason
// otherwise.
int64_t CountEntries(GMUnpacker& reader, std::string& message) {
  if (!reader.Open(false)) {
    message = PathForDisplay(reader.GetLastErrorMessage());
    return -1;
  }
  if (reader.VerifyChecksum() == GMUnpacker::Checksum::kDamaged) {
    message = "the package's checksum does not match";
    return -1;
  }
  int64_t count = 0;
  std::vector<const GMTocNode*> pending{&reader.Root()};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    for (const auto& child : node->children) {
      ++count;
      pending.push_back(child.get());
    }
  }
  return count;
}

// Writes the installer. A regular file (or nothing yet) at the path, or at the end of
// the link the path is, gets a new file beside it, renamed over it once it is complete:
// an installer already there stays whole until then, and no other file is touched. A
// device or a pipe is written as it is, in one pass (Direct: the checksum must be in
// the head before it goes out).
class OutputFile {
 public:
  explicit OutputFile(std::u16string path) : path_(std::move(path)) {}
  ~OutputFile() {
    if (!temp_.empty()) {
      file_.Close();
      DeleteFileForced(temp_);
    }
  }

  bool Create() {
    bool replaceable = true;
    if (!OutputTarget(path_, path_, replaceable)) return false;
    if (!replaceable) {
      direct_ = true;
      return file_.Open(path_, kGenericWrite, kFileShareRead | kFileShareWrite, kOpenExisting, 0);
    }
    std::u16string full;
    size_t split = 0;
    if (!FullPath(path_, full, split) || !TempFileName(DirectoryPart(full), u"gmz", temp_)) {
      temp_.clear();
      return false;
    }
    return file_.Open(temp_, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal);
  }
  bool Direct() const { return direct_; }

  bool Write(const unsigned char* data, size_t size) {
    checksum_.Add(data, size);
    while (size != 0) {
      const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size, 1u << 20));
      uint32_t written = 0;
      if (!file_.Write(data, piece, written) || written != piece) return false;
      data += piece;
      size -= piece;
    }
    return true;
  }

  // Puts the checksum in its place (unless the output is direct) and the file where it
  // belongs.
  bool Finish(uint32_t checksumOffset) {
    if (direct_) return file_.Close();
    unsigned char value[4];
    pe::format::Put32(value, checksum_.Value());
    uint64_t at = 0;
    uint32_t written = 0;
    if (!file_.Seek(checksumOffset, 0, at) || !file_.Write(value, 4, written) || written != 4 || !file_.Close() ||
        !ReplacePath(temp_, path_)) {
      return false;
    }
    temp_.clear();
    return true;
  }

 private:
  std::u16string path_;
  std::u16string temp_;
  bool direct_ = false;
  GMFile file_;
  pe::Checksum checksum_;
};

// Passes every piece of the package, from the start, to `take`; false with `problem`
// when it cannot be read whole.
bool ForEachPiece(GMFile& input, uint64_t size, const std::function<bool(const unsigned char*, uint32_t)>& take,
                  std::string& problem) {
  uint64_t at = 0;
  if (!input.Seek(0, kFileBegin, at)) {
    problem = SystemReason();
    return false;
  }
  std::vector<unsigned char> chunk(4u << 20);
  for (uint64_t left = size; left != 0;) {
    uint32_t read = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, chunk.size()));
    if (!input.Read(chunk.data(), want, read) || read == 0) {
      problem = read == 0 ? "it became shorter" : SystemReason();
      return false;
    }
    if (!take(chunk.data(), read)) return false;
    left -= read;
  }
  return true;
}

// A part of a file, read as a file of its own: the package inside an installer.
class FilePart : public GMBaseFile {
 public:
  FilePart(GMBaseFile& file, uint64_t start, uint64_t size) : file_(file), start_(start), size_(size) {}
  bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
    bytesRead = 0;
    uint64_t at = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(length, size_ - position_));
    if (!file_.Seek(static_cast<int64_t>(start_ + position_), kFileBegin, at) ||
        !file_.Read(buffer, want, bytesRead)) {
      return false;
    }
    position_ += bytesRead;
    return true;
  }
  bool Write(const void*, uint32_t, uint32_t& bytesWritten) override {
    bytesWritten = 0;
    return false;
  }
  bool Close() override { return false; }
  bool GetPosition(uint64_t& position) override {
    position = position_;
    return true;
  }
  bool GetSize(uint64_t& size) override {
    size = size_;
    return true;
  }
  bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) override {
    const int64_t base = origin == kFileBegin ? 0 : origin == kFileCurrent ? static_cast<int64_t>(position_)
                                                                            : static_cast<int64_t>(size_);
    const int64_t target = base + distance;
    if (target < 0 || static_cast<uint64_t>(target) > size_) return false;
    newPosition = position_ = static_cast<uint64_t>(target);
    return true;
  }
  bool SetTimes(FileTime, FileTime, FileTime) override { return false; }

 private:
  GMBaseFile& file_;
  uint64_t start_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// An image read by offset: only the headers and the resource tree are read.
class FileBytes : public pe::ImageBytes {
 public:
  FileBytes(GMFile& file, uint64_t size) : file_(file), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, size_t size, unsigned char* out) override {
    uint64_t at = 0;
    if (offset > size_ || size > size_ - offset || !file_.Seek(static_cast<int64_t>(offset), kFileBegin, at)) {
      return false;
    }
    while (size != 0) {
      uint32_t read = 0;
      const uint32_t want = static_cast<uint32_t>(std::min<size_t>(size, 1u << 20));
      if (!file_.Read(out, want, read) || read == 0) return false;
      out += read;
      size -= read;
    }
    return true;
  }

 private:
  GMFile& file_;
  uint64_t size_;
};

// Stubs are a few megabytes; anything near the image limit is not one.
constexpr uint64_t kMaxStubSize = 256u << 20;
// Past this, a 32-bit installer's image and its dictionary do not fit a 32-bit system's
// 2 GiB of address space (64-bit Windows gives the large-address-aware installer 4 GiB).
constexpr uint64_t kLargeImage = 1ull << 30;

// The stub installed with the program: ../share/gmz/setup-stub.exe beside it.
std::u16string InstalledStub() {
  const std::u16string program = ModuleFilePath();
  if (program.empty()) return std::u16string();
  std::u16string stub;
  size_t split = 0;
  if (!FullPath(JoinPath(DirectoryPart(program), u"..\\share\\gmz\\setup-stub.exe"), stub, split)) {
    return std::u16string();
  }
  return stub;
}

int RunAssemble(const SfxOptions& o) {
  // Writing over the package would lose it, by whatever name or link it is reached (over
  // the stub is how an installer gets a new package).
  if (IsSameFile(PathFromArgument(o.output), PathFromArgument(o.package))) {
    return Fail("-o " + o.output + " would overwrite the package; choose another name");
  }
  std::string stubName = o.stub;
  if (stubName.empty()) {
    const std::u16string installed = InstalledStub();
    if (installed.empty() || !IsFile(installed)) {
      return Fail("no --stub given, and no installer stub is installed beside gmz (" +
                  (installed.empty() ? std::string("../share/gmz/setup-stub.exe") : PathForDisplay(installed)) +
                  "): give --stub setup-stub.exe, from an i686 build");
    }
    stubName = PathForDisplay(installed);
  }
  std::vector<unsigned char> stub;
  if (!ReadWholeFile(PathFromArgument(stubName), stub, kMaxStubSize)) {
    return Fail("cannot read " + stubName + ": " + SystemReason());
  }
  // The package must be one: a wrong file would only show when the installer runs.
  {
    GMUnpacker probe(PathFromArgument(o.package));
    std::string message;
    if (CountEntries(probe, message) < 0) {
      return Fail(o.package + " is not a package the installer can read: " +
                  (message.empty() ? std::string("cannot open it") : message));
    }
  }
  GMFile input;
  uint64_t packageSize = 0;
  if (!input.Open(PathFromArgument(o.package), kGenericRead, kFileShareRead, kOpenExisting, 0) ||
      !input.GetSize(packageSize)) {
    return Fail("cannot read " + o.package + ": " + SystemReason());
  }
  pe::SfxLayout layout;
  std::string error;
  if (!pe::LayOutSfx(stub.data(), stub.size(), packageSize, layout, error)) return Fail(stubName + ": " + error);
  if (!layout.is64 && layout.imageSize > kLargeImage) {
    std::fprintf(stderr,
                 "gmz sfx: warning: the installer's image is %s bytes: a 32-bit Windows cannot map more than 1 GiB "
                 "of it beside the installer's dictionary; only 64-bit Windows will run it\n",
                 Grouped(layout.imageSize).c_str());
  }

  OutputFile output(PathFromArgument(o.output));
  if (!output.Create()) return Fail("cannot create " + o.output + ": " + SystemReason());
  std::string problem;
  if (output.Direct()) {
    // Written in one pass: the checksum first, from every byte.
    pe::Checksum checksum;
    checksum.Add(layout.head.data(), layout.head.size());
    if (!ForEachPiece(input, packageSize, [&](const unsigned char* data, uint32_t size) {
          checksum.Add(data, size);
          return true;
        }, problem)) {
      return Fail("cannot read " + o.package + ": " + problem);
    }
    checksum.Add(layout.tail.data(), layout.tail.size());
    pe::format::Put32(layout.head.data() + layout.checksumOffset, checksum.Value());
  }
  bool writeFailed = false;
  if (!output.Write(layout.head.data(), layout.head.size()) ||
      !ForEachPiece(input, packageSize, [&](const unsigned char* data, uint32_t size) {
        writeFailed = !output.Write(data, size);
        return !writeFailed;
      }, problem)) {
    return writeFailed || problem.empty() ? Fail("cannot write " + o.output + ": " + SystemReason())
                                          : Fail("cannot read " + o.package + ": " + problem);
  }
  if (!output.Write(layout.tail.data(), layout.tail.size()) || !output.Finish(layout.checksumOffset)) {
    return Fail("cannot write " + o.output + ": " + SystemReason());
  }
  if (layout.signatureRemoved) {
    std::fprintf(stderr, "gmz sfx: the stub was signed; the signature no longer matches and was removed: sign %s again\n",
                 o.output.c_str());
  }
  if (layout.keptAfterSignature != 0) {
    std::fprintf(stderr, "gmz sfx: the %s bytes that followed the stub's signature are kept at the end of %s\n",
                 Grouped(layout.keptAfterSignature).c_str(), o.output.c_str());
  }
  std::printf("%s: %s installer from the stub %s, package of %s bytes as resource \"DATA\" 105 (%s), %s\n",
              o.output.c_str(), pe::MachineName(layout.machine).c_str(), stubName.c_str(), Grouped(packageSize).c_str(),
              layout.packageReplaced ? "replacing the stub's" : "new",
              layout.sectionAdded      ? "in a resource section added after the last section"
              : layout.sectionsMoved != 0 ? "in the stub's resource section, rewritten in place (its relocations "
                                            "moved after it)"
                                          : "in the stub's resource section, rewritten in place");
  return kExitSuccess;
}

int RunInfo(const SfxOptions& o) {
  // Read by offset: the headers, the resource tree and the package, never the whole file.
  GMFile file;
  uint64_t size = 0;
  if (!file.Open(PathFromArgument(o.info), kGenericRead, kFileShareRead, kOpenExisting, 0) || !file.GetSize(size)) {
    return Fail("cannot read " + o.info + ": " + SystemReason());
  }
  FileBytes bytes(file, size);
  pe::Image image;
  std::string error;
  if (!pe::ReadImage(bytes, image, error)) return Fail(o.info + ": " + error);

  // The header checksum, over the file in pieces (its own field counted as 0).
  pe::Checksum checksum;
  const uint64_t field = image.optionalHeaderOffset + pe::format::kCheckSum;
  std::vector<unsigned char> chunk(4u << 20);
  for (uint64_t at = 0; at < size;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(size - at, chunk.size()));
    if (!bytes.Read(at, piece, chunk.data())) return Fail("cannot read " + o.info + ": " + SystemReason());
    for (uint64_t i = std::max(at, field); i < std::min(at + piece, field + 4); ++i) chunk[i - at] = 0;
    checksum.Add(chunk.data(), piece);
    at += piece;
  }
  const char* checksumState = image.checksum == 0                  ? "not set"
                              : image.checksum == checksum.Value() ? "correct"
                                                                   : "wrong";
  std::printf("%s: %s image for %s, %s bytes, checksum 0x%08" PRIx32 " (%s)\n", o.info.c_str(),
              image.pe32Plus ? "PE32+" : "PE32", pe::MachineName(image.machine).c_str(), Grouped(size).c_str(),
              image.checksum, checksumState);
  std::printf("sections (%zu):", image.sections.size());
  for (const pe::Section& s : image.sections) std::printf(" %s", pe::Printable(s.name).c_str());
  std::printf("\nresources (%zu):\n", image.resources.size());
  for (const pe::Resource& r : image.resources) {
    std::printf("  type %s, name %s, language 0x%04x: %s bytes\n", IdText(r.type).c_str(), IdText(r.name).c_str(),
                r.language, Grouped(r.size).c_str());
  }
  if (image.certificateSize == 0) {
    std::printf("signature: none\n");
  } else {
    std::printf("signature: a certificate table of %s bytes\n", Grouped(image.certificateSize).c_str());
  }
  const pe::Resource* package = pe::FindImageResource(image, pe::PackageType(), pe::PackageName());
  if (package == nullptr) {
    std::printf("package: none (a stub)\n");
    return kExitSuccess;
  }
  GMUnpacker reader(new FilePart(file, package->fileOffset, package->size), true);
  std::string message;
  const int64_t entries = CountEntries(reader, message);
  if (entries < 0) {
    std::printf("package: %s bytes, not one the installer can read: %s\n", Grouped(package->size).c_str(),
                message.c_str());
    return kExitFailure;
  }
  std::printf("package: %s bytes, %" PRId64 " %s, %s\n", Grouped(package->size).c_str(), entries,
              entries == 1 ? "entry" : "entries",
              reader.HasChecksum() ? "checksum matches" : "no checksum (made before packages were checked)");
  return kExitSuccess;
}

}  // namespace

void AddSfxCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<SfxOptions>();
  CLI::App* sfx = app.add_subcommand("sfx", "Assemble an installer from the installer stub and a package, or "
                                            "show what an installer holds");
  CLI::Option* stub = sfx->add_option(
      "--stub", options->stub, "The installer stub (default: the one installed, ../share/gmz/setup-stub.exe beside gmz)");
  CLI::Option* package = sfx->add_option("--package", options->package, "The package (.gmz)");
  CLI::Option* output = sfx->add_option("-o,--output", options->output, "The installer to write (setup.exe)");
  CLI::Option* info = sfx->add_option("--info", options->info, "Show an installer's machine, resources and package");
  info->excludes(stub)->excludes(package)->excludes(output);
  sfx->callback([options, &action] {
    const bool assemble = !options->package.empty() && !options->output.empty();
    if (!assemble && options->info.empty()) {
      throw CLI::ValidationError("gmz sfx", "give --package and -o (and --stub), or --info");
    }
    action = [options, assemble] { return assemble ? RunAssemble(*options) : RunInfo(*options); };
  });
}

}  // namespace Zavro::gmz
