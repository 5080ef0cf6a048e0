#include "platform/linux/gtk_module_path.h"

#include "platform/linux/gtk_module.h"

namespace tb::x11 {

std::vector<std::string> GtkModuleCandidates(const std::string& programPath,
                                             const std::string& relativeModuleDir) {
    std::vector<std::string> candidates;
    const auto slash = programPath.rfind('/');
    if (programPath.empty() || slash == std::string::npos) {
        return candidates;
    }
    const std::string folder = programPath.substr(0, slash + 1);
    // An installed program keeps it in its own library folder, where no other program looks.
    if (!relativeModuleDir.empty() && relativeModuleDir != ".") {
        std::string dir = relativeModuleDir;
        if (dir.back() != '/') {
            dir += '/';
        }
        candidates.push_back(folder + dir + kGtkModuleFile);
    }
    candidates.push_back(folder + kGtkModuleFile);
    return candidates;
}

}  // namespace tb::x11
