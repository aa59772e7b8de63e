#pragma once
// An application's menu bar as a device sees it.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo {

// How a wanted title is compared with a menu item's or window's title.
enum class MenuTitleMatchMode { exact, beginsWith };
template <>
struct platform::StringEnumTraits<MenuTitleMatchMode> : platform::RawValues<"exact", "beginsWith"> {};

// The application whose menu a snapshot holds.
struct HalvardineApplication {
    std::string localizedName;
    std::optional<std::string> bundleIdentifier;
    std::int32_t pid = 0;
    bool isFrontmost = false;

    // The bundle identifier when there is one (also an empty one), else
    // "pid-" and the process identifier.
    std::string id() const;

    static constexpr auto jsonFields() {
        using R = HalvardineApplication;
        return std::tuple{field("localizedName", &R::localizedName), field("bundleIdentifier", &R::bundleIdentifier),
                          field("pid", &R::pid), field("isFrontmost", &R::isFrontmost)};
    }
};

// One menu item with its submenu. A tree: at most maximumTreeDepth levels
// are read or written, and copying, comparing, hashing and destroying never
// recurse, so no tree, however built, can exhaust the stack.
struct MenuNode {
    // A reply carries the snapshot three levels down and each menu level
    // costs two JSON levels, which keeps it well inside the document limit.
    static constexpr std::size_t maximumTreeDepth = 64;

    std::string id;
    std::string title;
    std::string role;
    bool enabled = false;
    std::optional<std::string> shortcut;
    std::vector<std::string> path;
    std::vector<MenuNode> children;

    MenuNode() = default;
    MenuNode(std::string id, std::string title, std::string role, bool enabled, std::optional<std::string> shortcut,
             std::vector<std::string> path, std::vector<MenuNode> children);
    MenuNode(const MenuNode& other);
    MenuNode(MenuNode&& other) noexcept = default;
    MenuNode& operator=(const MenuNode& other);
    MenuNode& operator=(MenuNode&& other) noexcept;
    ~MenuNode();

    static constexpr auto jsonFields() {
        using R = MenuNode;
        return std::tuple{field("id", &R::id),
                          field("title", &R::title),
                          field("role", &R::role),
                          field("enabled", &R::enabled),
                          field("shortcut", &R::shortcut),
                          field("path", &R::path),
                          field("children", &R::children)};
    }

private:
    // This node's own members, without its submenu.
    MenuNode withoutChildren() const;
};

// The menu bar of one application.
struct MenuSnapshot {
    HalvardineApplication application;
    std::vector<MenuNode> items;

    static constexpr auto jsonFields() {
        return std::tuple{field("application", &MenuSnapshot::application), field("items", &MenuSnapshot::items)};
    }
};

}  // namespace zentrabo
