// Appending one line to a text file with C stdio. Portable: on Windows the
// runtime's text mode turns each "\n" into "\r\n", elsewhere lines stay "\n".
#include <cstdio>
#include <cstring>

#include "log_sink.h"

namespace log_sink {

bool AppendTextLine(const char* fileName, const char* line)
{
    std::FILE* file = std::fopen(fileName, "a");
    if (file == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(line);
    const bool written = std::fwrite(line, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace log_sink
