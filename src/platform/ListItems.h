// Items of a list control, for the dialog controls that keep a copy of them.
#pragma once
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

#include "security/SecureString.h"

namespace platform {

// The order in which a list shows its items: as given, or, for a list that
// keeps them sorted, by their texts without regard to case, as sorted
// Windows lists do. Items may be titles of encrypted entries: they are
// sorted by their places, so that no sorting buffer is freed with a copy in it.
inline std::vector<std::size_t> listOrder(const std::vector<std::string>& items, bool sorted) {
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (sorted) {
        std::stable_sort(order.begin(), order.end(), [&items](std::size_t a, std::size_t b) {
            const std::string& x = items[a];
            const std::string& y = items[b];
            return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
                return std::tolower(static_cast<unsigned char>(p)) < std::tolower(static_cast<unsigned char>(q));
            });
        });
    }
    return order;
}

// Wipes every text (they may be secrets) and empties the list.
inline void wipeAll(std::vector<std::string>& texts) {
    for (std::string& text : texts) secureWipe(text);
    texts.clear();
}

}  // namespace platform
