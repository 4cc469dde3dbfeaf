// Standard input on Windows. A reader thread reads one line whenever the
// panel asks for one, while the main thread keeps pumping the main window's
// messages; so the window stays responsive and the plug-in's posted messages
// are reported while the panel waits for input.
#include <io.h>
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "LineInput.h"
#include "MainWindow.h"

namespace panel {

namespace {

class ConsoleInput : public LineInput {
public:
    explicit ConsoleInput(bool interactive)
        : interactive_(interactive), ready_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        worker_ = std::thread([this] { serve(); });
    }

    ~ConsoleInput() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wanted_.notify_one();
        worker_.join();
        CloseHandle(ready_);
    }

    bool readCommand(const std::string& prompt, std::string& line) override { return read(prompt, false, line); }
    bool readText(const std::string& prompt, const std::string&, std::string& line) override {
        return read(prompt, false, line);
    }
    bool readSecret(const std::string& prompt, std::string& line) override { return read(prompt, true, line); }

private:
    bool read(const std::string& prompt, bool secret, std::string& line) {
        if (interactive_) {
            std::cout << prompt;
            std::cout.flush();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            want_ = true;
            secret_ = secret;
        }
        wanted_.notify_one();
        for (;;) {
            mainwindow::pump();
            const DWORD woke = MsgWaitForMultipleObjects(1, &ready_, FALSE, INFINITE, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0) break;
        }
        mainwindow::pump();
        std::lock_guard<std::mutex> lock(mutex_);
        line = line_;
        return got_;
    }

    void serve() {
        for (;;) {
            bool secret;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wanted_.wait(lock, [this] { return want_ || stopping_; });
                if (stopping_) return;
                secret = secret_;
            }
            std::string line;
            const bool got = readLine(secret, line);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                want_ = false;
                line_ = line;
                got_ = got;
            }
            SetEvent(ready_);
        }
    }

    static bool readLine(bool secret, std::string& line) {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0;
        const bool console = secret && GetConsoleMode(in, &mode);
        if (console) SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
        const bool got = static_cast<bool>(std::getline(std::cin, line));
        if (console) {
            SetConsoleMode(in, mode);
            std::cout << "\n";
        }
        if (got && !line.empty() && line.back() == '\r') line.pop_back();
        return got;
    }

    const bool interactive_;
    const HANDLE ready_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    bool want_ = false;
    bool secret_ = false;
    bool stopping_ = false;
    std::string line_;
    bool got_ = false;
};

}  // namespace

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

std::unique_ptr<LineInput> openStandardInput(bool interactive, Completer) {
    return std::make_unique<ConsoleInput>(interactive);
}

}  // namespace panel
