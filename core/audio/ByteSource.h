// Where a decoder's bytes come from: a file, a block in memory, or whatever
// the platform layer opens (a file named by a UTF-16 path on Windows).
//
// Decoders read recordings of an hour and more, so they stream: they ask for
// the bytes they need next and seek, and never hold the file. Every read is
// bounded by what the source says it holds; a read that comes back short is
// the end of the file or an error, and Failed() tells which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class ByteSource {
public:
    virtual ~ByteSource();
    // Up to `count` bytes from the current position into `buffer`; the bytes
    // read (fewer only at the end or on an error).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Moves to `offset` from the start; false past Size() or on an error.
    virtual bool Seek(uint64_t offset) = 0;
    virtual uint64_t Position() const = 0;
    // The source's length in bytes, as known when it was opened.
    virtual uint64_t Size() const = 0;
    // Whether a read or seek failed for a reason other than the end.
    virtual bool Failed() const = 0;
};

// Bytes held by the caller, who keeps them alive while the source is used.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const void* data, size_t size);
    size_t Read(void* buffer, size_t count) override;
    bool Seek(uint64_t offset) override;
    uint64_t Position() const override { return position_; }
    uint64_t Size() const override { return size_; }
    bool Failed() const override { return false; }

private:
    const unsigned char* data_;
    size_t size_;
    size_t position_ = 0;
};

// Why a file could not be opened as a source.
enum class FileOpenError {
    None,
    Missing,     // no file of that name
    Folder,      // a folder, not a file
    Unreadable,  // there, but no access, no way to seek in it, or an I/O error
};

// An open C stream as a source. The stream must be seekable (a regular
// file); it is closed with the source when `owned`. This is how a layer that
// opens files its own way (by UTF-16 path on Windows) hands one over.
std::unique_ptr<ByteSource> ByteSourceFromStream(std::FILE* stream, bool owned, FileOpenError* error = nullptr);

// The file at `path` (a byte string in the ANSI code page on Windows), or
// null with `error` saying why.
std::unique_ptr<ByteSource> OpenFileByteSource(const std::string& path, FileOpenError& error);
