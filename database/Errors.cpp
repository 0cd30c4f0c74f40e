#include "database/Errors.h"

#include <cerrno>
#include <cstring>

namespace corvane {

EInOutError MakeIOError(int errnoValue, const std::string& fileName) {
    if (errnoValue == ENOENT) {
        return EInOutError(kIOFileNotFound, "File not found", fileName);
    }
    return EInOutError(errnoValue, std::strerror(errnoValue), fileName);
}

EInOutError MakeReadBeyondEnd(const std::string& fileName) {
    return EInOutError(kIOReadBeyondEnd, "Read beyond end of file", fileName);
}

EInOutError MakeNotRegularFile(const std::string& fileName) {
    return EInOutError(kIONotRegularFile, "Not a regular file", fileName);
}

std::string DescribeError(const std::exception& error) {
    if (const auto* io = dynamic_cast<const EInOutError*>(&error); io != nullptr && !io->FileName().empty()) {
        return io->FileName() + ": " + io->what();
    }
    return error.what();
}

} // namespace corvane
