// Files a workflow receives: their folder, their names, their limits, and
// that saving one never takes the place of anything.
#include <gmock/gmock.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>

#include "controller_fixture.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/file_descriptor.hpp"
#include "platform/files/xdg_folders.hpp"
#include "support/file_text.hpp"
#include "support/scoped_time_zone.hpp"

namespace zentrabo {
namespace {

namespace fs = std::filesystem;
using ::testing::MatchesRegex;
using Case = MacMenuError::Case;

class ReceivedFilesTest : public ControllerTest {
protected:
    void SetUp() override { start(platform::DesktopBuilder{}); }

    static MenuWorkflowStep fileStep(std::optional<std::string> filename, std::string bytes = "content") {
        MenuWorkflowStep step;
        step.kind = "sendFile";
        step.title = "Send";
        step.fileTransferFilename = std::move(filename);
        step.fileTransferData = Data(bytes.begin(), bytes.end());
        return step;
    }

    // Saves into the receive folder; the file's name.
    std::string save(const MenuWorkflowStep& step) {
        const RemoteTransferredFile saved = controller->saveTransferredFile(step, receiveFolder.string());
        EXPECT_EQ(saved.path, (receiveFolder / saved.filename).string()) << "inside the folder";
        EXPECT_EQ(saved.title, step.title);
        return saved.filename;
    }

    // The case and text the save fails with.
    std::pair<std::optional<Case>, std::string> saveFailure(const MenuWorkflowStep& step) {
        try {
            controller->saveTransferredFile(step, receiveFolder.string());
        } catch (const MacMenuError& error) {
            return {error.errorCase(), error.errorDescription()};
        }
        return {std::nullopt, ""};
    }

    std::size_t entryCount(const fs::path& folder) {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    const fs::path receiveFolder = home.root() / "Downloads" / "Zentrabo";
};

TEST_F(ReceivedFilesTest, NamesAreKeptSafeAndNeverRepeated) {
    testing::ScopedTimeZone zone("XST-2");
    clock.advance(3661);  // 2001-01-01 03:01:01 in that zone
    const std::string uuidName = "File-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}";
    struct Row {
        std::optional<std::string> filename;
        std::optional<std::string> originalFilename;
        std::optional<std::string> contentType;
        std::optional<FileTransferSource> source;
        std::string expected;  // a regular expression
    } const rows[] = {
        {"report.pdf", {}, {}, {}, "report\\.pdf"},
        {" report.pdf\n", {}, {}, {}, "report 2\\.pdf"},
        {"README", {}, "text/x-unknown", {}, "README"},
        {"README", {}, {}, {}, "README 2"},
        {"../../etc/passwd", {}, {}, {}, "passwd"},
        {"..", {}, {}, {}, uuidName},
        {"a/b/..", {}, {}, {}, uuidName},
        {"?*<>:|😀🎉", {}, {}, {}, uuidName},
        {"  ", "  Résumé: 2024 (final)...", {}, {}, "Résumé- 2024 \\(final\\)"},
        {"a---b?!c", {}, {}, {}, "a--b-c"},
        {"_-. notes .-_", {}, {}, {}, "notes"},
        {"scan", {}, "Application/PDF", {}, "scan\\.pdf"},
        {{}, {}, {}, FileTransferSource::photo, "Photo-20010101-030101\\.jpg"},
        {{}, {}, "application/pdf", {}, "File-20010101-030101\\.pdf"},
        {{}, {}, {}, FileTransferSource::file, "File-20010101-030101"},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.filename.value_or("(none)"));
        MenuWorkflowStep step = fileStep(c.filename);
        step.fileTransferOriginalFilename = c.originalFilename;
        step.fileTransferContentType = c.contentType;
        step.fileTransferSource = c.source;
        EXPECT_THAT(save(step), MatchesRegex(c.expected));
    }
    EXPECT_EQ(entryCount(receiveFolder), std::size(rows)) << "nothing outside the folder, nothing beside";
    EXPECT_EQ(testing::fileText(receiveFolder / "report 2.pdf"), "content");
}

TEST_F(ReceivedFilesTest, TheDestinationIsAFolderOutsideTheServersOwn) {
    // A folder typed on the device is home-relative and made with its parents.
    MenuWorkflowStep step = fileStep("a.txt");
    step.folderPath = " Inbox/New ";
    EXPECT_EQ(controller->saveTransferredFile(step, receiveFolder).path, (home.root() / "Inbox/New/a.txt").string());
    EXPECT_EQ(testing::fileText(home.root() / "Inbox/New/a.txt"), "content");

    step.folderPath = " \n ";
    EXPECT_EQ(save(step), "a.txt");
    EXPECT_TRUE(fs::exists(receiveFolder / "a.txt")) << "blank falls back to the receive folder";

    std::ofstream(home.root() / "plain") << "x";
    step.folderPath = "~/plain";
    EXPECT_EQ(saveFailure(step),
              std::pair(std::optional(Case::fileTransferDestinationUnavailable),
                        "The file destination is not available: " + (home.root() / "plain").string()));

    // The server's settings and keys are never a destination, also through
    // a folder that does not exist yet or a link.
    const fs::path dataFolder = platform::dataFolder();
    fs::create_directories(dataFolder);
    const std::size_t dataEntries = entryCount(dataFolder);
    fs::create_directory_symlink(dataFolder, home.root() / "innocent");
    const std::string throughDots = "Inbox/../" + fs::relative(dataFolder, home.root()).string();
    for (const std::string& typed :
         {dataFolder.string(), dataFolder.string() + "/new/deeper", std::string("innocent"), throughDots}) {
        SCOPED_TRACE(typed);
        step.folderPath = typed;
        EXPECT_EQ(saveFailure(step).first, Case::fileTransferDestinationUnavailable);
    }
    EXPECT_EQ(entryCount(dataFolder), dataEntries) << "nothing written, no folder made";
}

TEST_F(ReceivedFilesTest, SizesUpToTheLimitAreAccepted) {
    const auto limit = static_cast<std::size_t>(HalvardineProtocol::maximumFileTransferByteCount);
    EXPECT_EQ(limit, 26214400u);
    EXPECT_EQ(save(fileStep("big", std::string(limit, 'x'))), "big");
    EXPECT_EQ(fs::file_size(receiveFolder / "big"), limit);
    EXPECT_EQ(saveFailure(fileStep("bigger", std::string(limit + 1, 'x'))).first, Case::fileTransferTooLarge);
    EXPECT_EQ(saveFailure(fileStep("empty", "")).first, Case::fileTransferRequired);
    MenuWorkflowStep none = fileStep("none");
    none.fileTransferData.reset();
    EXPECT_EQ(saveFailure(none).first, Case::fileTransferRequired);
    EXPECT_FALSE(fs::exists(receiveFolder / "bigger"));
}

TEST_F(ReceivedFilesTest, NothingIsEverReplaced) {
    fs::create_directories(receiveFolder);
    fs::create_symlink(home.root() / "nowhere", receiveFolder / "photo.jpg");
    EXPECT_EQ(save(fileStep("photo.jpg", "first")), "photo 2.jpg");
    EXPECT_TRUE(fs::is_symlink(receiveFolder / "photo.jpg"));
    EXPECT_FALSE(fs::exists(home.root() / "nowhere")) << "the dangling link was not followed";

    // Another writer takes the chosen name between the check and the publish.
    std::vector<std::string> chosen;
    const auto rival = [&](const std::string& url) {
        chosen.push_back(fs::path(url).filename());
        if (chosen.size() == 1) std::ofstream(url) << "rival";
    };
    const auto saved = controller->saveTransferredFile(fileStep("photo.jpg", "second"), receiveFolder, rival);
    EXPECT_EQ(chosen, (std::vector<std::string>{"photo 3.jpg", "photo 4.jpg"}));
    EXPECT_EQ(saved.filename, "photo 4.jpg");
    EXPECT_EQ(testing::fileText(receiveFolder / "photo 3.jpg"), "rival");
    EXPECT_EQ(testing::fileText(receiveFolder / "photo 4.jpg"), "second");
    EXPECT_EQ(entryCount(receiveFolder), 4u) << "no temporary file left";

    // Past the last numbered variant.
    std::ofstream(receiveFolder / "photo 9999.jpg") << "x";
    const platform::FileDescriptor folder(::open(receiveFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(failure([&] { DesktopController::uniqueFileURL(folder.get(), receiveFolder, "photo.jpg", 9999); }),
              Case::fileTransferFailed);
    EXPECT_EQ(DesktopController::uniqueFileURL(folder.get(), receiveFolder, "photo.jpg", 9998).url,
              (receiveFolder / "photo 9998.jpg").string());
    try {
        DesktopController::uniqueFileURL(folder.get(), receiveFolder, "photo.jpg", 9999);
    } catch (const MacMenuError& error) {
        EXPECT_STREQ(error.what(), "The file could not be saved: Too many files with the same name.");
    }

    // A name the file system refuses fails the save and leaves nothing.
    const auto [failed, text] = saveFailure(fileStep(std::string(300, 'n')));
    EXPECT_EQ(failed, Case::fileTransferFailed);
    EXPECT_THAT(text, ::testing::HasSubstr("couldn’t be saved in the folder “Zentrabo”"));
    EXPECT_EQ(entryCount(receiveFolder), 5u);
}

}  // namespace
}  // namespace zentrabo
