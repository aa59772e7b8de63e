// Which entry opens a MIME type or URL scheme, and a file's MIME type.
#include <gtest/gtest.h>

#include "freedesktop_fixture.hpp"
#include "platform/desktop/freedesktop/mime_handlers.hpp"

namespace zentrabo::testing {
namespace {

class MimeHandlers : public FreedesktopTest {
protected:
    std::string handlerOf(const std::string& type) {
        const auto handler = platform::defaultHandler(type);
        return handler ? handler->id : "none";
    }
};

TEST_F(MimeHandlers, ListsAreReadInTheirOrderAndEntriesLast) {
    setVariable("XDG_CURRENT_DESKTOP", "Test");
    for (const char* id : {"user.desktop", "desktop.desktop", "system.desktop", "data.desktop", "added.desktop"}) {
        writeEntry(userApplications() / id, id);
    }
    writeEntry(userApplications() / "declares.desktop", "Declares", "MimeType=type/declared;type/removed;\n");
    writeEntry(userApplications() / "hidden.desktop", "Hidden", "Hidden=true\n");
    write(home.path() / ".config/test-mimeapps.list", "[Default Applications]\ntype/desktop=desktop.desktop\n");
    write(home.path() / ".config/mimeapps.list",
          "[Default Applications]\ntype/user=missing.desktop;hidden.desktop;user.desktop\n"
          "type/desktop=user.desktop\nx-scheme-handler/myscheme=user.desktop\n");
    write(home.path() / "system-config/mimeapps.list",
          "[Default Applications]\ntype/user=system.desktop\ntype/system=system.desktop\n");
    write(userApplications() / "mimeapps.list",
          "[Default Applications]\ntype/data=data.desktop\n[Added Associations]\ntype/added=added.desktop\n"
          "[Removed Associations]\ntype/removed=declares.desktop\n");

    const std::pair<const char*, const char*> cases[] = {
        {"type/user", "user.desktop"},  // missing and hidden entries passed over
        {"type/desktop", "desktop.desktop"},
        {"type/system", "system.desktop"},
        {"type/data", "data.desktop"},
        {"type/added", "added.desktop"},
        {"type/declared", "declares.desktop"},
        {"type/removed", "none"},
        {"x-scheme-handler/myscheme", "user.desktop"},
        {"type/unknown", "none"},
    };
    for (const auto& [type, expected] : cases) EXPECT_EQ(handlerOf(type), expected) << type;
}

TEST_F(MimeHandlers, ATypeWithoutHandlerOpensWithItsNearestAncestorsHandler) {
    write(
        home.path() / ".local/share/mime/subclasses",
        "# subtype supertype\ntext/x-chdr text/x-csrc\ntext/x-csrc text/plain\napplication/x-special application/xml\n"
        "text/x-removed text/plain\nloop/a loop/b\nloop/b loop/a\n");
    write(home.path() / "system/mime/subclasses", "application/x-system application/xml\n");
    writeEntry(userApplications() / "plain.desktop", "Plain", "MimeType=text/plain;\n");
    writeEntry(userApplications() / "xml.desktop", "XML", "MimeType=application/xml;\n");
    writeEntry(userApplications() / "csrc.desktop", "C", "MimeType=text/x-csrc;\n");
    writeEntry(userApplications() / "any.desktop", "Any", "MimeType=application/octet-stream;\n");
    write(home.path() / ".config/mimeapps.list",
          "[Default Applications]\ntext/plain=plain.desktop\n[Removed Associations]\ntext/x-removed=plain.desktop\n");

    const std::pair<const char*, const char*> cases[] = {
        {"text/x-csrc", "csrc.desktop"},    // its own handler before its parent's default
        {"text/x-chdr", "csrc.desktop"},    // the nearest ancestor's
        {"text/x-other", "plain.desktop"},  // every text type is plain text
        {"application/x-special", "xml.desktop"},
        {"application/x-system", "xml.desktop"},  // the system's database counts too
        {"text/x-removed", "plain.desktop"},      // a default stays the default
        {"loop/a", "none"},                       // a loop in the database ends
        {"image/x-unknown", "none"},              // nothing falls back to any binary
    };
    for (const auto& [type, expected] : cases) EXPECT_EQ(handlerOf(type), expected) << type;

    // Without the default, the removed association keeps the ancestor's
    // declaring entry away too.
    write(home.path() / ".config/mimeapps.list", "[Removed Associations]\ntext/x-removed=plain.desktop\n");
    EXPECT_EQ(handlerOf("text/x-removed"), "none");
    EXPECT_EQ(handlerOf("text/x-other"), "plain.desktop");
}

TEST_F(MimeHandlers, FileTypesComeFromTheBestGlob) {
    write(home.path() / ".local/share/mime/globs2",
          "# comment\n50:text/plain:*.txt\n50:text/x-readme:readme*\n60:text/x-readme-txt:readme*.txt\n"
          "50:application/x-case:*.CS:cs\n40:text/x-c:*.c\n50:text/x-c++:*.C:cs\n-1:text/x-broken:*.bin\n");
    std::filesystem::create_directories(home.path() / "folder.txt");
    const std::pair<const char*, const char*> cases[] = {
        {"notes.txt", "text/plain"},
        {"NOTES.TXT", "text/plain"},
        {"readme.txt", "text/x-readme-txt"},
        {"readme", "text/x-readme"},
        {"a.CS", "application/x-case"},
        {"a.cs", "application/octet-stream"},
        {"main.C", "text/x-c++"},
        {"main.c", "text/x-c"},
        {"folder.txt", "inode/directory"},
        {"unknown.bin", "application/octet-stream"},  // its only glob has a negative weight
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(platform::mimeTypeOfFile(home.path() / name), expected) << name;
    }
}

}  // namespace
}  // namespace zentrabo::testing
