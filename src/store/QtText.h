#pragma once
// The store's texts are UTF-8 in std::string; Qt's file and JSON classes take QString.
#include <QString>

#include <string_view>

namespace store {

inline QString Q(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace store
