// Opening documents, folders and web addresses with the user's preferred applications.
//
// The real backend goes through QDesktopServices (xdg-open underneath) and must be used from the
// main thread. Tests install a fake that records what would have been opened.
#pragma once

#include <string>
#include <vector>

namespace qv {

class Desktop
{
public:
    virtual ~Desktop() = default;

    // Opens a local file or folder (a path) or an address with a scheme ("https://...").
    virtual bool open(const std::string &target) = 0;

    // Starts a program with arguments without waiting for it.
    virtual bool launch(const std::string &program, const std::vector<std::string> &arguments) = 0;

    // The backend in use (the real one unless a test installed another).
    static Desktop &instance();
    // Installs `d` (not owned); nullptr restores the real backend.
    static void setInstance(Desktop *d);
};

} // namespace qv
