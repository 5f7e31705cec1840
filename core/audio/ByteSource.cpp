#include "ByteSource.h"

#include <cerrno>
#include <cstring>

#include "StreamSource.h"

ByteSource::~ByteSource() = default;

MemoryByteSource::MemoryByteSource(const void* data, size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0)
{
}

size_t MemoryByteSource::Read(void* buffer, size_t count)
{
    const size_t n = count < size_ - position_ ? count : size_ - position_;
    if (n > 0)
        std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

bool MemoryByteSource::Seek(uint64_t offset)
{
    if (offset > size_)
        return false;
    position_ = static_cast<size_t>(offset);
    return true;
}

namespace {

class StreamByteSource : public ByteSource {
public:
    StreamByteSource(std::FILE* stream, bool owned, uint64_t size) : stream_(stream), owned_(owned), size_(size) {}
    ~StreamByteSource() override
    {
        if (owned_)
            std::fclose(stream_);
    }
    StreamByteSource(const StreamByteSource&) = delete;
    StreamByteSource& operator=(const StreamByteSource&) = delete;

    size_t Read(void* buffer, size_t count) override
    {
        // Never past the size the source was opened with: a file that grows
        // meanwhile (a recorder still writing) is read as it was.
        const uint64_t left = position_ < size_ ? size_ - position_ : 0;
        if (count > left)
            count = static_cast<size_t>(left);
        if (count == 0 || failed_)
            return 0;
        const size_t n = std::fread(buffer, 1, count, stream_);
        if (n < count && std::ferror(stream_))
            failed_ = true;
        position_ += n;
        return n;
    }
    bool Seek(uint64_t offset) override
    {
        if (failed_ || offset > size_)
            return false;
        if (!audio_stream::SeekTo(stream_, offset)) {
            failed_ = true;
            return false;
        }
        position_ = offset;
        return true;
    }
    uint64_t Position() const override { return position_; }
    uint64_t Size() const override { return size_; }
    bool Failed() const override { return failed_; }

private:
    std::FILE* stream_;
    bool owned_;
    uint64_t size_;
    uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<ByteSource> ByteSourceFromStream(std::FILE* stream, bool owned, FileOpenError* error)
{
    FileOpenError ignored = FileOpenError::None;
    FileOpenError& why = error ? *error : ignored;
    why = FileOpenError::None;
    if (!stream) {
        why = FileOpenError::Unreadable;
        return nullptr;
    }
    uint64_t size = 0;
    // The size is where the end is; a stream that cannot seek (a pipe) has
    // none, and the readers need to seek.
    if (!audio_stream::SeekToEnd(stream) || !audio_stream::Tell(stream, size) || !audio_stream::SeekTo(stream, 0)) {
        if (owned)
            std::fclose(stream);
        why = FileOpenError::Unreadable;
        return nullptr;
    }
    return std::make_unique<StreamByteSource>(stream, owned, size);
}
