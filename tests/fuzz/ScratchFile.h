#pragma once
// One temporary file per process and name, rewritten for every fuzz input:
// the compiler and the settings reader take file names only.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

class ScratchFile {
  public:
    // `name` tells the files of different targets apart, e.g. "song.mml".
    explicit ScratchFile(const std::string& name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's contents with the bytes; aborts when it cannot.
    void Write(const uint8_t* data, std::size_t size);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace fuzz
