// Builds the three forms on one platform and routes the platform's events into them.
#include "app/program.h"

#include "about/about_window.h"
#include "app/host.h"
#include "bird/bird_state.h"
#include "bird/bird_window.h"

namespace tb {

struct Program::Impl {
    explicit Impl(Platform& p)
        : platform(p), bird(p, state), about(p, state, bird), host(p, state, bird, about) {
        platform.bird.SetEvents(&bird);
        platform.menu.SetEvents(&host);
        platform.about.SetEvents(&about);
    }
    ~Impl() {
        // The platform outlives the program: leave it no sink pointing at freed forms.
        platform.bird.SetEvents(nullptr);
        platform.menu.SetEvents(nullptr);
        platform.about.SetEvents(nullptr);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    Platform& platform;
    BirdState state;
    BirdWindow bird;
    AboutWindow about;
    Host host;
};

Program::Program(Platform& platform) : impl_(std::make_unique<Impl>(platform)) {}

Program::~Program() = default;

void Program::Start() {
    impl_->host.Load();
}

BirdState& Program::State() {
    return impl_->state;
}
BirdWindow& Program::Bird() {
    return impl_->bird;
}
Host& Program::GetHost() {
    return impl_->host;
}
AboutWindow& Program::About() {
    return impl_->about;
}

}  // namespace tb
