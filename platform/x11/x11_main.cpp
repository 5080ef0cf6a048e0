// The Linux program on X11: builds the X11 realisation of every platform service, hands it to the
// program's logic and runs the main loop until "Exit" ends the process. The bird needs only
// Xlib; GTK comes in with its module the first time a menu, About window or message box opens.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "app/program.h"
#include "desktop/error_box.h"
#include "desktop/monitors.h"
#include "platform/platform.h"
#include "platform/x11/display_name.h"
#include "platform/linux/gtk_loader.h"
#include "platform/linux/lock_file_mutex.h"
#include "platform/linux/main_loop.h"
#include "platform/linux/program_file.h"
#include "platform/linux/window_systems.h"
#include "platform/x11/x11_bird_surface.h"
#include "platform/x11/x11_forms_runtime.h"
#include "platform/x11/x11_libraries.h"
#include "platform/x11/x11_session.h"
#include "platform/linux/desktop_shell.h"
#include "platform/x11/x11_window_system.h"
#include "platform/linux/xdg_registry.h"

namespace tb::linux_desktop::x11 {

void RunOnX11(int argc, char** argv, const UserNotice& notice) {
    if (std::string why; !OpenX11Libraries(why)) {
        throw std::runtime_error("tapperbird: cannot load the X11 libraries (" + why + ")");
    }
    // The desktop's own scale: window positions are absolute pixels (no Wayland: XWayland does
    // it), and the bird scales itself.
    const char* desktopScale = std::getenv("GDK_SCALE");
    const int gdkScale = desktopScale != nullptr ? std::atoi(desktopScale) : 1;
    X11Session session(DisplayToOpen(argc, argv, std::getenv("DISPLAY")));
    PollWaiter waiter;
    MainLoop loop(waiter);
    loop.WatchConnection(session.connectionFd(), session);

    GtkModuleLoader gtk(session, GtkDisplayKind::X11, session.displayName(), loop,
                        ReadProgramPath());
    X11FormsRuntime forms(session, loop, gdkScale, gtk);
    X11WindowSystem windows(session);
    X11BirdSurface bird(session, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    XdgRegistry registry(XdgRegistry::DefaultConfigHome(), XdgRegistry::DefaultSystemConfigDirs());
    DesktopShell shell;
    LockFileMutex mutex(LockFileMutex::DefaultRuntimeDir());
    LazyPopupMenu menu(gtk, tb::BirdScaleFor(forms.Scale()));
    LazyAboutView about(gtk, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    tb::Lcg24Random random;
    tb::Platform platform{windows, bird, forms, registry, shell, mutex, menu, about, random};

    tb::Program program(platform);
    program.Start();

    // Said once the bird is up, in a box that leaves it pecking meanwhile.
    std::unique_ptr<tb::Timer> noticeTimer;
    if (!notice.text.empty()) {
        noticeTimer = forms.CreateTimer(1, [&notice, &noticeTimer, &forms] {
            noticeTimer->SetEnabled(false);
            if (notice.said) {
                notice.said();
            }
            forms.MessageBox(notice.text, tb::kApplicationTitle, tb::kMbIconInformation);
        });
        noticeTimer->SetEnabled(true);
    }
    loop.Run();
}

}  // namespace tb::linux_desktop::x11
