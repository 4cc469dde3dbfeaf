#include "Commands.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>

#include "Arguments.h"
#include "Format.h"
#include "HostCallbacks.h"
#include "MainWindow.h"
#include "PluginLibrary.h"
#include "Requests.h"
#include "VirtualPath.h"

namespace panel {

namespace {

constexpr int kTextSize = 1024;  // buffers for field names, values and views

struct Command {
    const char* name;
    const char* usage;
};

const Command kCommands[] = {
    {"ls", "ls [FOLDER]                 list a folder"},
    {"cd", "cd FOLDER | cd .. | cd \\    change the current folder"},
    {"pwd", "pwd                         print the current folder"},
    {"open", "open NAME                   execute with verb \"open\""},
    {"props", "props NAME                  execute with verb \"properties\""},
    {"exec", "exec NAME VERB              execute with any verb"},
    {"mkdir", "mkdir NAME                  create a folder"},
    {"rm", "rm NAME                     delete a file"},
    {"rmdir", "rmdir NAME                  remove a folder"},
    {"mv", "mv OLD NEW                  rename or move"},
    {"cp", "cp OLD NEW                  copy"},
    {"put", "put LOCALFILE NAME [FLAGS]  upload a local file (flags: overwrite,resume,move or a number)"},
    {"stop-at", "stop-at PERCENT|off         stop the next copy when its progress reaches PERCENT"},
    {"columns", "columns                     list the content fields and the default view"},
    {"col", "col NAME                    show every content field of an item"},
    {"icon", "icon NAME [small|big] [background]  extract the item's icon"},
    {"echo", "echo TEXT                   print the text (scripts use it to mark their place)"},
    {"wait", "wait SECONDS                do nothing for a while (the plug-in's own threads go on)"},
    {"raw", "raw COMMAND ...             run COMMAND with its names passed to the plug-in as written"},
    {"help", "help                        this list"},
    {"quit", "quit                        unload the plug-in and leave"},
};

// A zero-filled buffer of SIZE bytes holding TEXT, which must leave room for
// the terminator.
bool toBuffer(const std::string& text, std::vector<char>& buffer, std::size_t size = wfx::kMaxPath) {
    buffer.assign(size, '\0');
    if (text.size() >= size) return false;
    std::memcpy(buffer.data(), text.data(), text.size());
    return true;
}

std::string fromBuffer(const char* buffer, std::size_t size) {
    std::size_t length = 0;
    while (length < size && buffer[length] != '\0') ++length;
    return std::string(buffer, length);
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct Field {
    int index;
    std::string name;
    std::string units;
    int type;
};

std::vector<Field> supportedFields(const PluginExports& fn) {
    std::vector<Field> fields;
    for (int index = 0; index < 1000; ++index) {
        char name[kTextSize] = {};
        char units[kTextSize] = {};
        const int type = fn.FsContentGetSupportedField(index, name, units, kTextSize);
        if (type == wfx::ft_nomorefields) break;
        fields.push_back({index, fromBuffer(name, sizeof name), fromBuffer(units, sizeof units), type});
    }
    return fields;
}

}  // namespace

const std::vector<std::string>& commandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const auto& command : kCommands) all.push_back(command.name);
        return all;
    }();
    return names;
}

int parseCopyFlags(const std::string& text) {
    if (text.empty()) return -1;
    if (text.find_first_not_of("0123456789") == std::string::npos) return std::atoi(text.c_str());
    int flags = 0;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find_first_of(",|", start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (word == "overwrite")
            flags |= wfx::FS_COPYFLAGS_OVERWRITE;
        else if (word == "resume")
            flags |= wfx::FS_COPYFLAGS_RESUME;
        else if (word == "move")
            flags |= wfx::FS_COPYFLAGS_MOVE;
        else if (word == "samecase")
            flags |= wfx::FS_COPYFLAGS_EXISTS_SAMECASE;
        else if (word == "differentcase")
            flags |= wfx::FS_COPYFLAGS_EXISTS_DIFFERENTCASE;
        else
            return -1;
        start = end + 1;
    }
    return flags;
}

Session::Session(const PluginExports& plugin, Answerer& answerer, std::ostream& out, wfx::HWND mainWindow)
    : fn_(plugin), answerer_(answerer), out_(out), mainWindow_(mainWindow) {}

std::string Session::path(const std::string& name) const {
    return raw_ ? name : resolvePath(folder_, name);
}

bool Session::exported(bool present, const char* name) {
    if (!present) out_ << name << ": not exported\n";
    return present;
}

bool Session::list(const std::string& folder, std::vector<Entry>& entries) {
    entries.clear();
    std::vector<char> buffer;
    if (!toBuffer(folder, buffer)) return false;
    Entry entry{};
    const wfx::HANDLE handle = fn_.FsFindFirst(buffer.data(), &entry.data);
    if (handle == wfx::invalidHandle()) return false;
    do {
        entry.name = fromBuffer(entry.data.cFileName, sizeof entry.data.cFileName);
        entries.push_back(entry);
        entry = Entry{};
    } while (fn_.FsFindNext(handle, &entry.data));
    fn_.FsFindClose(handle);
    return true;
}

bool Session::run(const std::string& line) {
    const std::vector<std::string> args = splitArguments(line);
    if (args.empty()) return true;
    const std::string& command = args[0];
    auto need = [&](std::size_t count, const char* usage) {
        if (args.size() >= count + 1) return true;
        out_ << "usage: " << usage << "\n";
        return false;
    };
    if (command == "quit" || command == "exit") return false;
    if (command == "raw") {
        // A careless file manager: names go out unresolved, empty components
        // and all.
        if (!need(1, "raw COMMAND ...")) return true;
        raw_ = true;
        const bool goOn = run(line.substr(line.find("raw") + 3));
        raw_ = false;
        return goOn;
    }
    if (command == "ls") ls(args);
    else if (command == "cd") cd(args);
    else if (command == "pwd") out_ << folder_ << "\n";
    else if (command == "open") { if (need(1, "open NAME")) execute(args[1], "open"); }
    else if (command == "props") { if (need(1, "props NAME")) execute(args[1], "properties"); }
    else if (command == "exec") { if (need(2, "exec NAME VERB")) execute(args[1], args[2]); }
    else if (command == "mkdir") { if (need(1, "mkdir NAME")) mkdir(args[1]); }
    else if (command == "rm") { if (need(1, "rm NAME")) remove(args[1], false); }
    else if (command == "rmdir") { if (need(1, "rmdir NAME")) remove(args[1], true); }
    else if (command == "mv") { if (need(2, "mv OLD NEW")) renameOrCopy(args[1], args[2], true); }
    else if (command == "cp") { if (need(2, "cp OLD NEW")) renameOrCopy(args[1], args[2], false); }
    else if (command == "put") { if (need(2, "put LOCALFILE NAME [FLAGS]")) put(args); }
    else if (command == "stop-at") { if (need(1, "stop-at PERCENT|off")) stopAt(args[1]); }
    else if (command == "columns") columns();
    else if (command == "col") { if (need(1, "col NAME")) col(args[1]); }
    else if (command == "icon") { if (need(1, "icon NAME [small|big] [background]")) icon(args); }
    else if (command == "echo") echo(line);
    else if (command == "wait") { if (need(1, "wait SECONDS")) wait(args[1]); }
    else if (command == "help") help();
    else out_ << "unknown command: " << command << " (try help)\n";
    return true;
}

void Session::echo(const std::string& line) {
    std::string::size_type start = line.find("echo") + 4;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    out_ << line.substr(start < line.size() ? start : line.size()) << "\n";
}

void Session::wait(const std::string& seconds) {
    char* end = nullptr;
    const double s = std::strtod(seconds.c_str(), &end);
    if (end == seconds.c_str() || *end != '\0' || !(s >= 0) || s > 600) {
        out_ << "wait: give 0 to 600 seconds\n";
        return;
    }
    // While the host waits, dialogs of the plug-in's own threads are answered
    // from the script lines after this one.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(s * 1000));
    while (std::chrono::steady_clock::now() < until) {
        mainwindow::pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    out_ << "waited\n";
}

void Session::ls(const std::vector<std::string>& args) {
    if (!exported(fn_.FsFindFirst && fn_.FsFindNext && fn_.FsFindClose, "FsFindFirst/FsFindNext/FsFindClose"))
        return;
    std::vector<char> buffer;
    if (!toBuffer(path(args.size() > 1 ? args[1] : ""), buffer)) {
        out_ << "path too long\n";
        return;
    }
    wfx::WIN32_FIND_DATAA data{};
    const wfx::HANDLE handle = fn_.FsFindFirst(buffer.data(), &data);
    if (handle == wfx::invalidHandle()) {
        const std::string error = lastSystemError();
        out_ << "(empty)" << (error.empty() ? "" : " " + error) << "\n";
        return;
    }
    do {
        out_ << formatFindData(data) << "\n";
        data = wfx::WIN32_FIND_DATAA{};
    } while (fn_.FsFindNext(handle, &data));
    fn_.FsFindClose(handle);
}

void Session::cd(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        out_ << "usage: cd FOLDER | cd .. | cd \\\n";
        return;
    }
    folder_ = path(args[1]);
    out_ << folder_ << "\n";
}

void Session::execute(const std::string& name, const std::string& verb) {
    if (!exported(fn_.FsExecuteFile != nullptr, "FsExecuteFile")) return;
    const std::string before = path(name);
    std::vector<char> remote, verbText;
    if (!toBuffer(before, remote) || !toBuffer(verb, verbText, verb.size() + 1)) {
        out_ << "path too long\n";
        return;
    }
    const int result = fn_.FsExecuteFile(mainWindow_, remote.data(), verbText.data());
    out_ << execResultName(result) << "\n";
    const std::string after = fromBuffer(remote.data(), remote.size());
    if (after != before) out_ << "path: " << escapeText(after) << "\n";
    if (result == wfx::FS_EXEC_SYMLINK && after != before && !after.empty() && after[0] == '\\') {
        folder_ = resolvePath("\\", after);
        out_ << "current folder: " << folder_ << "\n";
    }
}

void Session::mkdir(const std::string& name) {
    if (!exported(fn_.FsMkDir != nullptr, "FsMkDir")) return;
    std::vector<char> buffer;
    if (!toBuffer(path(name), buffer)) {
        out_ << "path too long\n";
        return;
    }
    out_ << boolName(fn_.FsMkDir(buffer.data())) << "\n";
}

void Session::remove(const std::string& name, bool folder) {
    if (!exported(folder ? fn_.FsRemoveDir != nullptr : fn_.FsDeleteFile != nullptr,
                  folder ? "FsRemoveDir" : "FsDeleteFile"))
        return;
    std::vector<char> buffer;
    if (!toBuffer(path(name), buffer)) {
        out_ << "path too long\n";
        return;
    }
    out_ << boolName(folder ? fn_.FsRemoveDir(buffer.data()) : fn_.FsDeleteFile(buffer.data())) << "\n";
}

void Session::renameOrCopy(const std::string& oldName, const std::string& newName, bool move) {
    if (!exported(fn_.FsRenMovFile != nullptr, "FsRenMovFile")) return;
    const std::string from = path(oldName);
    const std::string to = path(newName);
    // What the file manager knows about the source from its listing.
    wfx::RemoteInfoStruct info{};
    std::vector<Entry> entries;
    if (fn_.FsFindFirst && fn_.FsFindNext && fn_.FsFindClose && list(parentPath(from), entries)) {
        const std::string leaf = lastComponent(from);
        const Entry* found = nullptr;
        for (const auto& entry : entries)
            if (entry.name == leaf) found = &entry;
        for (const auto& entry : entries)
            if (!found && sameNameIgnoringCase(entry.name, leaf)) found = &entry;
        if (found) {
            info.SizeLow = found->data.nFileSizeLow;
            info.SizeHigh = found->data.nFileSizeHigh;
            info.LastWriteTime = found->data.ftLastWriteTime;
            info.Attr = static_cast<int>(found->data.dwFileAttributes);
        }
    }
    std::vector<char> oldBuffer, newBuffer;
    auto call = [&](wfx::BOOL overwrite) {
        if (!toBuffer(from, oldBuffer) || !toBuffer(to, newBuffer)) return -1;
        const int result = fn_.FsRenMovFile(oldBuffer.data(), newBuffer.data(), move ? 1 : 0, overwrite, &info);
        out_ << fileResultName(result) << "\n";
        return result;
    };
    const int result = call(0);
    if (result < 0) {
        out_ << "path too long\n";
    } else if (result == wfx::FS_FILE_EXISTS) {
        out_ << "overwrite? (y/n)\n";
        if (answerer_.confirm()) call(1);
    }
}

void Session::put(const std::vector<std::string>& args) {
    if (!exported(fn_.FsPutFile != nullptr, "FsPutFile")) return;
    int flags = 0;
    if (args.size() > 3) {
        flags = parseCopyFlags(args[3]);
        if (flags < 0) {
            out_ << "unknown copy flags: " << args[3] << "\n";
            return;
        }
    }
    std::vector<char> local, remote;
    if (!toBuffer(args[1], local) || !toBuffer(path(args[2]), remote)) {
        out_ << "path too long\n";
        return;
    }
    int result = fn_.FsPutFile(local.data(), remote.data(), flags);
    out_ << fileResultName(result) << "\n";
    if ((result == wfx::FS_FILE_EXISTS || result == wfx::FS_FILE_EXISTSRESUMEALLOWED) &&
        !(flags & wfx::FS_COPYFLAGS_OVERWRITE)) {
        out_ << "overwrite? (y/n)\n";
        if (answerer_.confirm()) {
            toBuffer(args[1], local);
            toBuffer(path(args[2]), remote);
            result = fn_.FsPutFile(local.data(), remote.data(), flags | wfx::FS_COPYFLAGS_OVERWRITE);
            out_ << fileResultName(result) << "\n";
        }
    }
}

void Session::stopAt(const std::string& value) {
    if (value == "off") {
        abortProgressAt(-1);
        out_ << "copies are not stopped\n";
        return;
    }
    char* end = nullptr;
    const long percent = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || percent < 0 || percent > 100) {
        out_ << "stop-at takes a percentage from 0 to 100, or off\n";
        return;
    }
    abortProgressAt(static_cast<int>(percent));
    out_ << "the next copy stops at " << percent << "%\n";
}

void Session::columns() {
    if (exported(fn_.FsContentGetSupportedField != nullptr, "FsContentGetSupportedField")) {
        const std::vector<Field> fields = supportedFields(fn_);
        if (fields.empty()) out_ << "(no fields)\n";
        for (const auto& field : fields)
            out_ << field.index << " " << escapeText(field.name) << " units=\"" << escapeText(field.units) << "\" "
                 << fieldTypeName(field.type) << "\n";
    }
    if (!exported(fn_.FsContentGetDefaultView != nullptr, "FsContentGetDefaultView")) return;
    char contents[kTextSize] = {}, headers[kTextSize] = {}, widths[kTextSize] = {}, options[kTextSize] = {};
    if (!fn_.FsContentGetDefaultView(contents, headers, widths, options, kTextSize)) {
        out_ << "default view: none\n";
        return;
    }
    out_ << "default view:\n"
         << "  contents: " << escapeText(fromBuffer(contents, sizeof contents)) << "\n"
         << "  headers: " << escapeText(fromBuffer(headers, sizeof headers)) << "\n"
         << "  widths: " << escapeText(fromBuffer(widths, sizeof widths)) << "\n"
         << "  options: " << escapeText(fromBuffer(options, sizeof options)) << "\n";
}

void Session::col(const std::string& name) {
    if (!exported(fn_.FsContentGetSupportedField != nullptr, "FsContentGetSupportedField") ||
        !exported(fn_.FsContentGetValue != nullptr, "FsContentGetValue"))
        return;
    const std::string item = path(name);
    const std::vector<Field> fields = supportedFields(fn_);
    if (fields.empty()) out_ << "(no fields)\n";
    for (const auto& field : fields) {
        std::vector<char> fileName;
        if (!toBuffer(item, fileName)) {
            out_ << "path too long\n";
            return;
        }
        alignas(8) unsigned char value[kTextSize] = {};
        const int result = fn_.FsContentGetValue(fileName.data(), field.index, 0, value, kTextSize, 0);
        out_ << escapeText(field.name) << ": " << formatFieldValue(result, value, kTextSize) << "\n";
    }
}

void Session::icon(const std::vector<std::string>& args) {
    if (!exported(fn_.FsExtractCustomIcon != nullptr, "FsExtractCustomIcon")) return;
    int flags = wfx::FS_ICONFLAG_SMALL;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "small") flags |= wfx::FS_ICONFLAG_SMALL;
        else if (args[i] == "big") flags &= ~wfx::FS_ICONFLAG_SMALL;
        else if (args[i] == "background") flags |= wfx::FS_ICONFLAG_BACKGROUND;
        else {
            out_ << "usage: icon NAME [small|big] [background]\n";
            return;
        }
    }
    const std::string before = path(args[1]);
    for (;;) {
        std::vector<char> remote;
        if (!toBuffer(before, remote)) {
            out_ << "path too long\n";
            return;
        }
        wfx::HICON icon = nullptr;
        const int result = fn_.FsExtractCustomIcon(remote.data(), flags, &icon);
        out_ << iconResultName(result) << " icon=" << (icon ? "yes" : "no") << "\n";
        const std::string after = fromBuffer(remote.data(), remote.size());
        if (after != before) out_ << "name: " << escapeText(after) << "\n";
        // An icon the plug-in hands over with _DESTROY belongs to the host.
        if (result == wfx::FS_ICON_EXTRACTED_DESTROY && icon) mainwindow::destroyIcon(icon);
        // A delayed icon is fetched again in the background, as the file
        // manager does once the listing is shown.
        if (result != wfx::FS_ICON_DELAYED || (flags & wfx::FS_ICONFLAG_BACKGROUND)) return;
        flags |= wfx::FS_ICONFLAG_BACKGROUND;
        out_ << "fetching in the background\n";
    }
}

void Session::help() {
    for (const auto& command : kCommands) out_ << "  " << command.usage << "\n";
    out_ << "Names are relative to the current folder unless they start with \\; quote names with blanks.\n";
}

std::vector<std::string> Session::complete(const std::string& word, bool command) {
    std::vector<std::string> candidates;
    if (command) {
        for (const auto& name : commandNames())
            if (name.compare(0, word.size(), word) == 0) candidates.push_back(name);
        return candidates;
    }
    if (!fn_.FsFindFirst || !fn_.FsFindNext || !fn_.FsFindClose) return candidates;
    const auto slash = word.rfind('\\');
    const std::string folderPart = slash == std::string::npos ? "" : word.substr(0, slash + 1);
    const std::string start = word.substr(folderPart.size());
    std::vector<Entry> entries;
    list(folderPart.empty() ? folder_ : path(folderPart), entries);
    for (const auto& entry : entries)
        if (entry.name.compare(0, start.size(), start) == 0) candidates.push_back(folderPart + entry.name);
    return candidates;
}

}  // namespace panel
