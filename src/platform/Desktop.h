// Opening documents, folders and web addresses with the user's preferred applications.
//
// The real backend runs xdg-open and must be used from the main thread (it needs the event loop).
// xdg-open may run for as long as the application it hands over to (its generic fallback waits for
// it), so its end is watched, not waited for: an opener that ends with a failure (no application
// for the type, the application refused) is reported through the callback given to `open`, later,
// on the main thread. Tests install a fake that records what would have been opened.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv {

class Desktop
{
public:
    virtual ~Desktop() = default;

    // Opens a local file or folder (a path) or an address with a scheme ("https://..."). False
    // when nothing could be started (a missing file, no xdg-open); `failed` is then not called.
    // When the opener started but later reports failure, `failed` runs on the main thread.
    virtual bool open(const std::string &target, std::function<void()> failed) = 0;
    bool open(const std::string &target) { return open(target, {}); }

    // Starts a program with arguments without waiting for it.
    virtual bool launch(const std::string &program, const std::vector<std::string> &arguments) = 0;

    // The backend in use (the real one unless a test installed another).
    static Desktop &instance();
    // Installs `d` (not owned); nullptr restores the real backend.
    static void setInstance(Desktop *d);
};

} // namespace qv
