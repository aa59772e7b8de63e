#pragma once
// A value for each case of an enumeration, written as one row per case that
// names its case:
//   constexpr auto texts = caseTable<Status, std::string_view>({
//       {Status::ok, "It worked."},
//       {Status::failed, "It failed."},
//   });
// A case named by two rows does not compile, and neither does a table of an
// enumeration that travels as text (StringEnum) that misses a case.
#include <array>
#include <cstddef>

#include "platform/text/string_enum.hpp"

namespace zentrabo::platform {

template <typename E, typename T>
struct CaseRow {
    E value;
    T entry;
};

template <typename E, typename T, std::size_t N>
class CaseTable {
public:
    consteval explicit CaseTable(const CaseRow<E, T> (&rows)[N]) {
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (rows[j].value == rows[i].value) throw "a case has two rows";
            }
            rows_[i] = rows[i];
        }
        if constexpr (StringEnum<E>) {
            if (N != StringEnumTraits<E>::rawValues.size()) throw "a StringEnum's table needs a row for every case";
        }
    }

    // The entry of value's row, or otherwise for a value that no row names.
    constexpr T entryOr(E value, T otherwise) const noexcept {
        for (const auto& row : rows_) {
            if (row.value == value) return row.entry;
        }
        return otherwise;
    }

private:
    std::array<CaseRow<E, T>, N> rows_{};
};

template <typename E, typename T, std::size_t N>
consteval CaseTable<E, T, N> caseTable(const CaseRow<E, T> (&rows)[N]) {
    return CaseTable<E, T, N>(rows);
}

}  // namespace zentrabo::platform
