// A temporary directory for one test, removed with everything in it when it goes.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() joined with a relative name.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};
