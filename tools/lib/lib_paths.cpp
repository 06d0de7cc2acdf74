#include "lib_paths.h"

#include "file_platform.h"

namespace {

// The path without the file name's extension.
std::string WithoutExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < FileNameStart(path))
        return path;
    return path.substr(0, dot);
}

} // namespace

std::string DefaultLibraryPath(const std::string& defPath) {
    return WithoutExtension(defPath) + ".lib";
}

std::string DllNameFor(const std::string& givenName, const std::string& defPath) {
    if (givenName.empty())
        return WithoutExtension(defPath).substr(FileNameStart(defPath)) + ".dll";
    if (givenName.find('.', FileNameStart(givenName)) == std::string::npos)
        return givenName + ".dll";
    return givenName;
}
