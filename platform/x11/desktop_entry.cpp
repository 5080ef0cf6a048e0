// Autostart entry text: the two escape layers of Exec= (argument quoting inside, key-file string
// escapes outside) and the group/key parsing the desktop uses to decide whether an entry is on.
#include "platform/x11/desktop_entry.h"

namespace tb::x11 {
namespace {

// The key file's string escapes, applied after the argument quoting.
std::string EscapeKeyFileString(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + 8);
    for (char c : raw) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string UnescapeKeyFileString(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        switch (value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:  // unknown escapes are kept as they stand
                out += '\\';
                out += value[i];
        }
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

}  // namespace

std::string ExecValueForPath(std::string_view path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    return EscapeKeyFileString(quoted);
}

std::vector<std::string> ParseExecValue(std::string_view value) {
    const std::string line = UnescapeKeyFileString(value);
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < line.size()) {
                current += line[++i];
            } else if (c == '"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inArg) {
                args.push_back(std::move(current));
                current.clear();
                inArg = false;
            }
            continue;
        } else if (c == '"') {
            inQuotes = true;
        } else {
            current += c;
        }
        inArg = true;
    }
    if (inQuotes) {
        return {};
    }
    if (inArg) {
        args.push_back(std::move(current));
    }
    // Field codes are the launcher's business; only the literal percent sign is ours to undo.
    for (std::string& arg : args) {
        std::string plain;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            plain += arg[i];
            if (arg[i] == '%' && i + 1 < arg.size() && arg[i + 1] == '%') {
                ++i;
            }
        }
        arg = std::move(plain);
    }
    return args;
}

std::string AutostartEntryText(std::string_view path) {
    std::string text = "[Desktop Entry]\nType=Application\nName=Tapperbird\nExec=";
    text += ExecValueForPath(path);
    text += "\nTerminal=false\n";
    return text;
}

AutostartEntry ParseAutostartEntry(std::string_view text) {
    AutostartEntry entry;
    bool inMainGroup = false;
    std::string execValue;
    bool haveExec = false;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const std::string_view line =
            Trim(eol == std::string_view::npos ? text : text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inMainGroup || eq == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "Hidden" && value == "true") {
            entry.disabled = true;
        } else if (key == "X-GNOME-Autostart-enabled" && value == "false") {
            entry.disabled = true;
        } else if (key == "Exec") {
            execValue = std::string(value);
            haveExec = true;
        }
    }
    if (haveExec) {
        const std::vector<std::string> args = ParseExecValue(execValue);
        entry.singleArgument = args.size() == 1;
        entry.command = entry.singleArgument ? args.front() : UnescapeKeyFileString(execValue);
    }
    return entry;
}

}  // namespace tb::x11
