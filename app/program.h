// The whole program on top of one realisation of the platform: the host form, the bird window,
// the About window and the state they share. A realisation's main builds one and calls Start.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace tb {

struct BirdState;
class BirdWindow;
class Host;
class AboutWindow;

class Program {
  public:
    explicit Program(Platform& platform);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs the host's load: the start-up sequence. Call once, from the GUI thread.
    void Start();

    // The windows and their shared state, for tests and tools that drive or inspect them.
    BirdState& State();
    BirdWindow& Bird();
    Host& GetHost();
    AboutWindow& About();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tb
