// A configuration folder of the test's own: XDG_CONFIG_HOME points at it, and so the
// program's settings file and port aliases are looked for there, until the test ends and
// the previous value is given back.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

class ConfigurationHome {
public:
    ConfigurationHome() {
        const char* previous = std::getenv("XDG_CONFIG_HOME");
        hadPrevious_ = previous != nullptr;
        if (hadPrevious_) previous_ = previous;
        setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
    }
    ~ConfigurationHome() {
        if (hadPrevious_)
            setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    ConfigurationHome(const ConfigurationHome&) = delete;
    ConfigurationHome& operator=(const ConfigurationHome&) = delete;

    const std::string& Path() const { return home_.Path(); }
    std::string operator/(const std::string& name) const { return home_ / name; }
    // The folder of the port aliases (made by p06-sim when it is not there).
    std::string PortsDir() const { return home_ / "quenlor/ports"; }
    // The same folder, made here for a test that puts an alias there itself or starts the
    // window before any simulator.
    std::string MakePortsDir() const {
        std::filesystem::create_directories(PortsDir());
        return PortsDir();
    }

private:
    TempDir home_;
    bool hadPrevious_ = false;
    std::string previous_;
};
