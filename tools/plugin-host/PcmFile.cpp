#include "PcmFile.h"

#include <array>

namespace host {

namespace {

bool EndsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".wav";
}

void Put16(uint8_t*& p, uint32_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t*& p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p, v >> 16);
}

void PutTag(uint8_t*& p, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(tag[i]);
}

}  // namespace

PcmFile::~PcmFile() {
    Close();
}

bool PcmFile::Create(const std::string& path, uint32_t rate, uint64_t dataBytes) {
    const bool wav = EndsWithWav(path);
    constexpr uint64_t kHeaderBytes = 44;
    if (wav && dataBytes > UINT32_MAX - (kHeaderBytes - 8)) return false;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    if (!wav) return true;

    constexpr uint32_t kChannels = 2;
    constexpr uint32_t kBits = 16;
    constexpr uint32_t kBlockAlign = kChannels * kBits / 8;
    std::array<uint8_t, kHeaderBytes> header{};
    uint8_t* p = header.data();
    PutTag(p, "RIFF");
    Put32(p, static_cast<uint32_t>(dataBytes + kHeaderBytes - 8));
    PutTag(p, "WAVE");
    PutTag(p, "fmt ");
    Put32(p, 16);  // size of the PCM format block
    Put16(p, 1);   // integer PCM
    Put16(p, kChannels);
    Put32(p, rate);
    Put32(p, rate * kBlockAlign);
    Put16(p, kBlockAlign);
    Put16(p, kBits);
    PutTag(p, "data");
    Put32(p, static_cast<uint32_t>(dataBytes));
    return Write(header.data(), header.size());
}

bool PcmFile::Write(const uint8_t* bytes, size_t size) {
    if (file_ == nullptr) return false;
    if (size > 0 && std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
    return !failed_;
}

bool PcmFile::Close() {
    if (file_ == nullptr) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

}  // namespace host
