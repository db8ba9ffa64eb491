// The plain way to find things by a name compared without regard to case: a std::unordered_map
// whose hash and equality fold A-Z, looked up with the query's own characters (no string made).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace bench {

inline char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

struct FoldedHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const
    {
        size_t h = 14695981039346656037ull;  // FNV-1a
        for (char c : name) h = (h ^ static_cast<unsigned char>(fold(c))) * 1099511628211ull;
        return h;
    }
};

struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const
    {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (fold(a[i]) != fold(b[i])) return false;
        return true;
    }
};

template <class Value>
using FoldedMap = std::unordered_map<std::string, Value, FoldedHash, FoldedEqual>;

}  // namespace bench
