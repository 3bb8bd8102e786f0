#pragma once
// Little-endian fields in and out of byte buffers, for the log formats. The
// reader never reads past its end: a read beyond it fails and leaves the
// reader failed, so a parser can read a run of fields and test once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reglog {

class ByteWriter {
  public:
    void U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    void Text(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    // Overwrites four bytes already written at `at`.
    void PatchU32(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void PadTo(std::size_t size) {
        if (bytes_.size() < size) bytes_.resize(size, 0);
    }

    std::size_t Size() const { return bytes_.size(); }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
};

class ByteReader {
  public:
    ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    std::size_t Position() const { return at_; }
    std::size_t Size() const { return size_; }
    std::size_t Left() const { return ok_ ? size_ - at_ : 0; }
    bool AtEnd() const { return at_ >= size_; }

    // Moves to `position`; fails beyond the end.
    void Seek(std::size_t position) {
        if (position > size_) ok_ = false;
        if (ok_) at_ = position;
    }
    void Skip(std::size_t count) {
        if (count > Left()) ok_ = false;
        if (ok_) at_ += count;
    }
    uint32_t U8() {
        if (at_ >= size_) ok_ = false;
        return ok_ ? data_[at_++] : 0;
    }
    uint32_t U16() {
        const uint32_t lo = U8();
        return lo | U8() << 8;
    }
    uint32_t U32() {
        const uint32_t lo = U16();
        return lo | U16() << 16;
    }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// The 32-bit little-endian value at `at`, or 0 when it lies beyond `size`.
inline uint32_t FieldU32(const uint8_t* data, std::size_t size, std::size_t at) {
    if (at > size || size - at < 4) return 0;
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
           static_cast<uint32_t>(data[at + 3]) << 24;
}

}  // namespace reglog
