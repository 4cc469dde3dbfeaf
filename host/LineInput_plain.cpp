// Lines from a file or a pipe, read as they are.
#include <fstream>
#include <istream>

#include "LineInput.h"

namespace panel {

namespace {

class StreamInput : public LineInput {
public:
    explicit StreamInput(std::istream& in) : in_(in) {}

    bool readCommand(const std::string&, std::string& line) override { return read(line); }
    bool readText(const std::string&, const std::string&, std::string& line) override { return read(line); }
    bool readSecret(const std::string&, std::string& line) override { return read(line); }

private:
    bool read(std::string& line) {
        if (!std::getline(in_, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

    std::istream& in_;
};

class ScriptFile : public StreamInput {
public:
    explicit ScriptFile(std::unique_ptr<std::ifstream> file) : StreamInput(*file), file_(std::move(file)) {}

private:
    std::unique_ptr<std::ifstream> file_;
};

}  // namespace

std::unique_ptr<LineInput> openStream(std::istream& in) {
    return std::make_unique<StreamInput>(in);
}

std::unique_ptr<LineInput> openScriptFile(const std::string& path) {
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*file) return nullptr;
    return std::make_unique<ScriptFile>(std::move(file));
}

}  // namespace panel
