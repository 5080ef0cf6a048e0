// Builds the three forms on one platform and routes the platform's events into them.
#include "shell/program.h"

#include "about/form4.h"
#include "bird/form1.h"
#include "bird/shared_state.h"
#include "shell/form2.h"

namespace tb {

struct Program::Impl {
    explicit Impl(Platform& p)
        : platform(p), form1(p, state), form4(p, state, form1), form2(p, state, form1, form4) {
        platform.bird.SetEvents(&form1);
        platform.menu.SetEvents(&form2);
        platform.about.SetEvents(&form4);
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
    SharedState state;
    Form1 form1;
    Form4 form4;
    Form2 form2;
};

Program::Program(Platform& platform) : impl_(std::make_unique<Impl>(platform)) {}

Program::~Program() = default;

void Program::Start() {
    impl_->form2.Form_Load();
}

SharedState& Program::State() {
    return impl_->state;
}
Form1& Program::BirdForm() {
    return impl_->form1;
}
Form2& Program::HostForm() {
    return impl_->form2;
}
Form4& Program::AboutForm() {
    return impl_->form4;
}

}  // namespace tb
