#pragma once
// A private folder under the system temporary folder for one test's files,
// removed with everything in it when the object goes.
//
// Test executables run in parallel under CTest, several per build tree and
// several build trees at once, so the folder is claimed atomically: a name is
// taken only when this process created the folder, never when it already
// existed. A file another process still has mapped is therefore never
// rewritten or removed under it.

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class ScratchFolder {
  public:
    // `prefix` names the folder's owner, for anyone looking in /tmp.
    explicit ScratchFolder(std::string_view prefix = "velnari-test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // The full name of `name` inside the folder.
    std::string File(std::string_view name) const;

    // Writes `bytes` to `name` in the folder, byte for byte, and returns its
    // full name. Fails the running test if the file cannot be written.
    std::string Write(std::string_view name, std::string_view bytes) const;

  private:
    std::filesystem::path path_;
};

}  // namespace testsupport
