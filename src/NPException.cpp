#include "NPException.h"

std::string CNPSEHException::describe(std::uint32_t code) {
    switch (code) {
        case 0xC0000005:
            return "The thread tried to read from or write to a virtual address for which it does not have the "
                   "appropriate access.";
        case 0x80000002:
            return "The thread tried to read or write data that is misaligned on hardware that does not provide "
                   "alignment.";
        case 0x80000003: return "A breakpoint was encountered.";
        case 0x80000004:
            return "A trace trap or other single-instruction mechanism signaled that one instruction has been "
                   "executed.";
        case 0xC0000025: return "The thread tried to continue execution after a noncontinuable exception occurred.";
        case 0xC000008C:
            return "The thread tried to access an array element that is out of bounds and the underlying hardware "
                   "supports bounds checking.";
        case 0xC000008D:
            return "One of the operands in a floating-point operation is denormal. A denormal value is one that is "
                   "too small to represent as a standard floating-point value.";
        case 0xC000008E:
            return "The thread tried to divide a floating-point value by a floating-point divisor of zero.";
        case 0xC000008F:
            return "The result of a floating-point operation cannot be represented exactly as a decimal fraction.";
        case 0xC0000090: return "This exception represents any floating-point exception not included in this list.";
        case 0xC0000091:
            return "The exponent of a floating-point operation is greater than the magnitude allowed by the "
                   "corresponding type.";
        case 0xC0000092:
            return "The stack overflowed or underflowed as the result of a floating-point operation.";
        case 0xC0000093:
            return "The exponent of a floating-point operation is less than the magnitude allowed by the "
                   "corresponding type.";
        case 0xC0000094: return "The thread tried to divide an integer value by an integer divisor of zero.";
        case 0xC0000095:
            return "The result of an integer operation caused a carry out of the most significant bit of the "
                   "result.";
        case 0xC0000096:
            return "The thread tried to execute an instruction whose operation is not allowed in the current machine "
                   "mode.";
        default: return "Unknown SEH exception..";
    }
}
