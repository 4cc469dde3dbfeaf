// Random passwords for entries, drawn from the system's cryptographic random
// source with a uniform choice per character.
#pragma once

#include <string>

struct tKeyholdOptions;

// The characters the options allow, in their fixed order.
std::string GeneratorAlphabet(const tKeyholdOptions& options);
// The number of characters: 12 when the length text is empty, else its
// leading decimal digits (atoi); 0 or less gives an empty password.
int GeneratorLength(const tKeyholdOptions& options);
// A new password; empty when the alphabet has fewer than two characters.
// The caller wipes it when done.
std::string GeneratePassword(const tKeyholdOptions& options);
