// An entry's URL with the entry's own user name, password and notes filled
// in for its placeholders.
#pragma once

#include <string>

struct tTreeNode;

// The entry's URL as plain text (decrypted when the entry is encrypted).
std::string entryUrl(const tTreeNode& entry);
// Fills the placeholders of `url` in place ({USERNAME}/%USERNAME%,
// {PASSWORD}/%PASSWORD%, {NOTES}/%NOTES%) and returns a copy of the result.
std::string buildUrl(std::string& url, const tTreeNode& entry);
