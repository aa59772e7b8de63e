#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/json/field_table.hpp"

// Equality and hashing of records over every member of their field table.
// Trees (recursive records) are walked with an explicit stack, so a deep
// tree cannot exhaust the call stack.
namespace zentrabo::platform {

// The hash of a number member: +0 and -0 are equal, so they hash alike.
inline std::size_t hashNumber(double value) noexcept { return std::hash<double>{}(value == 0 ? 0.0 : value); }

namespace json_detail {

inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <Record R>
std::size_t recordHash(const R& record);

template <class T>
std::size_t valueHash(const T& value) {
    if constexpr (HasJsonValueForm<T>) {
        return JsonValueForm<T>::hash(value);
    } else if constexpr (std::is_same_v<T, std::string>) {
        return std::hash<std::string_view>{}(value);
    } else if constexpr (std::is_same_v<T, double>) {
        return hashNumber(value);
    } else if constexpr (isBytes<T>) {
        return std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        return std::hash<T>{}(value);
    } else if constexpr (isOptional<T>) {
        return value ? valueHash(*value) + 1 : 0;
    } else if constexpr (isVector<T>) {
        std::size_t seed = value.size();
        for (const auto& element : value) hashCombine(seed, valueHash(element));
        return seed;
    } else if constexpr (Record<T>) {
        return recordHash(value);
    } else {
        static_assert(sizeof(T) == 0, "no hash for this member type");
    }
}

// Every member but the record's own child lists, whose lengths stand in for
// them; the tree walks below visit the children.
template <Record R>
bool shallowEqual(const R& a, const R& b) {
    bool equal = true;
    forEachField<R>([&](const auto& field) {
        if (!equal) return;
        const auto& left = a.*field.member;
        const auto& right = b.*field.member;
        if constexpr (isChildList<R, std::remove_cvref_t<decltype(left)>>) {
            equal = left.size() == right.size();
        } else {
            equal = left == right;
        }
    });
    return equal;
}

template <Record R>
std::size_t shallowHash(const R& record) {
    std::size_t seed = 0;
    forEachField<R>([&](const auto& field) {
        const auto& value = record.*field.member;
        if constexpr (isChildList<R, std::remove_cvref_t<decltype(value)>>) {
            hashCombine(seed, value.size());
        } else {
            hashCombine(seed, valueHash(value));
        }
    });
    return seed;
}

template <Record R, class Visit>
void forEachChildList(const R& record, Visit&& visit) {
    forEachField<R>([&](const auto& field) {
        const auto& value = record.*field.member;
        if constexpr (isChildList<R, std::remove_cvref_t<decltype(value)>>) visit(value);
    });
}

template <Record R>
bool recordEqual(const R& a, const R& b) {
    if constexpr (RecursiveRecord<R>) {
        std::vector<std::pair<const R*, const R*>> pending{{&a, &b}};
        while (!pending.empty()) {
            const auto [left, right] = pending.back();
            pending.pop_back();
            if (!shallowEqual(*left, *right)) return false;
            // Child lists are visited in the same order on both sides.
            std::vector<const std::vector<R>*> rightLists;
            forEachChildList(*right, [&](const std::vector<R>& list) { rightLists.push_back(&list); });
            std::size_t listIndex = 0;
            forEachChildList(*left, [&](const std::vector<R>& list) {
                const auto& other = *rightLists[listIndex++];
                for (std::size_t i = 0; i < list.size(); ++i) pending.emplace_back(&list[i], &other[i]);
            });
        }
        return true;
    } else {
        return shallowEqual(a, b);
    }
}

template <Record R>
std::size_t recordHash(const R& record) {
    if constexpr (RecursiveRecord<R>) {
        std::size_t seed = 0;
        std::vector<const R*> pending{&record};
        while (!pending.empty()) {
            const R* node = pending.back();
            pending.pop_back();
            hashCombine(seed, shallowHash(*node));
            forEachChildList(*node, [&](const std::vector<R>& list) {
                for (auto it = list.rbegin(); it != list.rend(); ++it) pending.push_back(&*it);
            });
        }
        return seed;
    } else {
        return shallowHash(record);
    }
}

}  // namespace json_detail

template <Record R>
bool operator==(const R& a, const R& b) {
    return json_detail::recordEqual(a, b);
}

template <Record R>
std::size_t hashValue(const R& record) {
    return json_detail::recordHash(record);
}

}  // namespace zentrabo::platform

template <zentrabo::platform::Record R>
struct std::hash<R> {
    std::size_t operator()(const R& record) const { return zentrabo::platform::hashValue(record); }
};
