#include "FileRead.h"

namespace file_read_detail {

bool AppendWithin(std::string& content, const char* bytes, size_t count, size_t maxBytes)
{
    if (count > maxBytes || content.size() > maxBytes - count) {
        content.clear();
        content.shrink_to_fit();
        return false;
    }
    content.append(bytes, count);
    return true;
}

}  // namespace file_read_detail
