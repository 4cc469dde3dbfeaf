// keyhold-panel: a terminal host for file-system plug-ins. It loads the
// plug-in binary the way the file manager does and offers the file manager's
// operations as commands, typed at a terminal or read from a script.
//
//   keyhold-panel PLUGIN [SCRIPT]

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "Commands.h"
#include "DialogDriver.h"
#include "HostCallbacks.h"
#include "LineInput.h"
#include "MainWindow.h"
#include "PluginLibrary.h"
#include "Requests.h"
#include "ScriptLines.h"
#include "ThreadCount.h"

using namespace panel;

namespace {

constexpr int kPluginNr = 1;

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::cout << std::unitbuf;
    std::ostream& out = std::cout;

    if (argc < 2 || argc > 3) {
        std::cerr << "usage: keyhold-panel PLUGIN [SCRIPT]\n";
        return 1;
    }
    const std::string pluginPath = argv[1];
    const bool scriptMode = argc == 3 || !standardInputIsTerminal();

    // Commands, and in script mode the answers to requests too, come from
    // one stream of lines.
    std::unique_ptr<Session> session;
    std::unique_ptr<LineInput> input;
    if (argc == 3) {
        input = openScriptFile(argv[2]);
        if (!input) {
            std::cerr << "keyhold-panel: cannot read " << argv[2] << "\n";
            return 1;
        }
    } else {
        input = openStandardInput(!scriptMode, [&session](const std::string& word, bool command) {
            return session ? session->complete(word, command) : std::vector<std::string>();
        });
    }
    ScriptLines script([&input](std::string& line) { return input->readCommand("", line); });
    std::unique_ptr<Answerer> answerer;
    if (scriptMode)
        answerer = std::make_unique<ScriptAnswerer>(script, out);
    else
        answerer = std::make_unique<TerminalAnswerer>(*input, out);
    attachCallbacks(out, *answerer);
    if (scriptMode) dialogs::start(script, out);

    // The main window is up and in front before the plug-in is loaded, as the
    // file manager's is.
    if (!mainwindow::create(out)) out << "warning: no main window\n";

    PluginLibrary plugin;
    if (!plugin.load(pluginPath)) {
        out << "cannot load " << pluginPath << ": " << plugin.error() << "\n";
        dialogs::stop();
        mainwindow::destroy();
        return 2;
    }
    out << "loaded " << baseName(pluginPath) << "\n";
    for (const auto& name : plugin.missingExports()) out << "missing export: " << name << "\n";

    const PluginExports& fn = plugin.fn();
    session = std::make_unique<Session>(fn, *answerer, out, mainwindow::handle());
    mainwindow::activate();
    mainwindow::pump();
    const int threadsBefore = threadCount();
    if (fn.FsInit) fn.FsInit(kPluginNr, progressCallback, logCallback, requestCallback);
    mainwindow::pump();

    for (;;) {
        std::string line;
        if (scriptMode) {
            if (!script.next(line)) break;
            out << "> " << line << "\n";
        } else {
            if (!input->readCommand("keyhold:" + session->currentFolder() + "> ", line)) {
                out << "\n";
                break;
            }
        }
        mainwindow::pump();
        const bool goOn = session->run(line);
        mainwindow::pump();
        if (!goOn) break;
    }

    // The plug-in writes its settings while it is unloaded, so it must really
    // be unloaded before the process ends.
    session.reset();
    const auto unloading = std::chrono::steady_clock::now();
    if (fn.FsContentPluginUnloading) fn.FsContentPluginUnloading();
    mainwindow::pump();
    if (plugin.unload())
        out << "unloaded\n";
    else
        out << "warning: " << plugin.error() << "\n";
    // What a file manager would notice: how long the unload kept it waiting,
    // and any thread of the plug-in's that outlived it.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - unloading);
    out << "unload took " << took.count() << " ms, threads left behind: " << (threadCount() - threadsBefore) << "\n";
    dialogs::stop();
    detachCallbacks();
    mainwindow::destroy();
    std::cout.flush();
    // Everything of ours is done; the process ends here, without waiting on
    // threads of the system's that may still linger (under wine they can).
    endProcess(0);
    return 0;
}
