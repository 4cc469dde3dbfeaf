// The program's own exception types.
#pragma once

#include <cstdint>
#include <string>

class CNPException {
public:
    explicit CNPException(std::string message) : m_message(std::move(message)) {}
    virtual ~CNPException() = default;
    const std::string& message() const { return m_message; }

private:
    std::string m_message;
};

// A structured exception (a hardware fault caught in a worker thread), with
// its code and the system's one-sentence description of it.
class CNPSEHException : public CNPException {
public:
    explicit CNPSEHException(std::uint32_t code) : CNPException(describe(code)), m_code(code) {}
    std::uint32_t code() const { return m_code; }
    static std::string describe(std::uint32_t code);

private:
    std::uint32_t m_code;
};
