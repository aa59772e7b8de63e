// Stored workflows, groups, export files and workflow run status records.
#include <gtest/gtest.h>

#include <limits>

#include "model/records/saved_workflow.hpp"
#include "model/records/workflow_run_status.hpp"
#include "json_test_support.hpp"

namespace zentrabo {
namespace {

using testing::canonicalJson;
using testing::decodeGolden;
using testing::decodes;

constexpr std::string_view kMinimalWorkflow =
    R"({"id":"w","title":"Morning","macID":"m","macName":"Studio","token":"t","steps":[],"createdAt":100.5})";

std::string workflowWith(std::string_view members) {
    std::string json(kMinimalWorkflow);
    json.pop_back();
    return json + "," + std::string(members) + "}";
}

MenuWorkflowStep stepOf(std::string kind, std::optional<std::string> targetMacName = std::nullopt) {
    MenuWorkflowStep step;
    step.id = kind;
    step.kind = std::move(kind);
    step.targetMacName = std::move(targetMacName);
    return step;
}

TEST(SavedWorkflow, ReadingDefaultsAndWritingThemBack) {
    const auto workflow = decodeRecord<SavedMenuWorkflow>(kMinimalWorkflow);
    EXPECT_EQ(workflow.symbolName, "square.stack.3d.up.fill");
    EXPECT_EQ(workflow.colorHex, "#AF52DE");
    EXPECT_EQ(workflow.updatedAt, platform::Date{100.5});
    EXPECT_EQ(canonicalJson(encodeRecord(workflow)),
              canonicalJson(workflowWith(R"("symbolName":"square.stack.3d.up.fill","colorHex":"#AF52DE",)"
                                         R"("updatedAt":100.5)")));
    const auto nulls = decodeRecord<SavedMenuWorkflow>(workflowWith(R"("symbolName":null,"updatedAt":null)"));
    EXPECT_EQ(nulls, workflow);
    EXPECT_EQ(decodeRecord<SavedMenuWorkflow>(workflowWith(R"("colorHex":"")")).colorHex, "");
    // The default of updatedAt is createdAt, whichever order the keys come in.
    EXPECT_EQ(decodeRecord<SavedMenuWorkflow>(
                  R"({"createdAt":7,"id":"w","title":"","macID":"m","macName":"","token":"","steps":[]})")
                  .updatedAt,
              platform::Date{7});

    const auto full = decodeGolden<SavedMenuWorkflow>(workflowWith(
        R"("symbolName":"bolt","colorHex":"#000000","folderName":"Work","folderSortIndex":3,"serviceName":"Studio",)"
        R"("host":"10.0.0.2","port":50123,"updatedAt":200,"lastRunAt":300.25)"));
    EXPECT_EQ(full.port, 50123);
    auto ranLater = full;
    ranLater.lastRunAt = platform::Date{301};
    EXPECT_NE(ranLater, full);

    EXPECT_FALSE(decodes<SavedMenuWorkflow>(
        R"({"id":"w","title":"Morning","macID":"m","macName":"Studio","steps":[],"createdAt":1})"));
    EXPECT_FALSE(decodes<SavedMenuWorkflow>(workflowWith(R"("port":70000)")));
    EXPECT_FALSE(decodes<SavedMenuWorkflow>(
        R"({"id":"w","title":"t","macID":"m","macName":"n","token":"t","steps":[{"id":"s","kind":"wait"}],"createdAt":1})"));
}

TEST(SavedWorkflow, GroupsAndExportFiles) {
    const auto group =
        decodeGolden<SavedWorkflowGroup>(R"({"id":"g","name":"Work","sortIndex":2,"createdAt":1,"updatedAt":2})");
    EXPECT_EQ(group.sortIndex, 2);
    EXPECT_FALSE(decodes<SavedWorkflowGroup>(R"({"id":"g","name":"Work","createdAt":1,"updatedAt":2})"));

    const auto file = decodeRecord<WorkflowExportFile>(R"({"formatVersion":7,"exportedAt":5,"workflow":)" +
                                                       std::string(kMinimalWorkflow) + "}");
    EXPECT_EQ(file.formatVersion, 7);
    EXPECT_EQ(file.workflow.colorHex, "#AF52DE");
    EXPECT_EQ(WorkflowExportFile{}.formatVersion, 1);
    EXPECT_FALSE(decodes<WorkflowExportFile>(
        R"({"formatVersion":1,"exportedAt":5,"workflow":{"id":"w","title":"t","macID":"m","macName":"n","token":"t","createdAt":1}})"));
}

TEST(SavedWorkflow, TargetMacNameAndProgressStepCount) {
    SavedMenuWorkflow workflow = decodeRecord<SavedMenuWorkflow>(kMinimalWorkflow);
    EXPECT_EQ(workflow.targetMacName(std::nullopt), "Studio");
    EXPECT_EQ(workflow.targetMacName("Laptop"), "Laptop");
    EXPECT_EQ(workflow.progressStepCount(), 1);

    workflow.steps = {stepOf("macConfig", ""), stepOf("menu"), stepOf("macConfig", "Other"), stepOf("wait")};
    // Only the first Mac choice counts, even when it names no Mac.
    EXPECT_EQ(workflow.targetMacName(std::nullopt), "Studio");
    EXPECT_EQ(workflow.targetMacName(""), "Studio");
    EXPECT_EQ(workflow.targetMacName("Laptop"), "Laptop");
    workflow.macName.clear();
    EXPECT_EQ(workflow.targetMacName(std::nullopt), "Mac");
    workflow.steps[0].targetMacName = " Den ";
    EXPECT_EQ(workflow.targetMacName("Laptop"), " Den ");
    EXPECT_EQ(workflow.progressStepCount(), 2);
    workflow.steps = {stepOf("macConfig")};
    EXPECT_EQ(workflow.progressStepCount(), 1);
}

TEST(WorkflowRunStatus, ProgressTextClampsWithoutOverflow) {
    using Session = WorkflowLiveActivitySession;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Session::progressText(0, 5), "Step 1 of 5");
    EXPECT_EQ(Session::progressText(4, 5), "Step 5 of 5");
    EXPECT_EQ(Session::progressText(9, 5), "Step 5 of 5");
    EXPECT_EQ(Session::progressText(0, 0), "Step 1 of 1");
    EXPECT_EQ(Session::progressText(-3, 5), "Step 1 of 5");
    EXPECT_EQ(Session::progressText(kMax, 5), "Step 5 of 5");
    EXPECT_EQ(Session::progressText(kMax, kMax), "Step 9223372036854775807 of 9223372036854775807");
    EXPECT_EQ(Session::progressText(kMin, kMin), "Step 1 of 1");
    EXPECT_EQ(Session::statusText(WorkflowLiveActivityStatus::running), "Running...");
    EXPECT_EQ(Session::statusText(WorkflowLiveActivityStatus::succeeded), "Done");
    EXPECT_EQ(Session::statusText(WorkflowLiveActivityStatus::failed), "Failed");
}

TEST(WorkflowRunStatus, FailureAndWidgetRecords) {
    const auto failure = decodeGolden<PendingWorkflowRunFailure>(
        R"({"workflowID":"w","workflowTitle":"Morning","macID":"m","macName":"Studio","message":"Blocked.",)"
        R"("errorCode":"inputBlocked","modalInfo":{"title":"Save?","role":"AXSheet","buttonTitles":["Save"]},)"
        R"("applicationRecovery":{"localizedName":"Notes","bundleIdentifier":"b"},"createdAt":12})");
    EXPECT_EQ(failure.errorCode, HalvardineErrorCode::inputBlocked);
    auto changed = failure;
    changed.modalInfo->buttonTitles.push_back("Cancel");
    EXPECT_NE(changed, failure);
    EXPECT_TRUE(decodes<PendingWorkflowRunFailure>(
        R"({"workflowID":"w","workflowTitle":"t","macID":"m","macName":"n","message":"x","createdAt":1})"));
    EXPECT_FALSE(decodes<PendingWorkflowRunFailure>(
        R"({"workflowID":"w","workflowTitle":"t","macID":"m","macName":"n","createdAt":1})"));
    EXPECT_FALSE(decodes<PendingWorkflowRunFailure>(
        R"({"workflowID":"w","workflowTitle":"t","macID":"m","macName":"n","message":"x","errorCode":"oops","createdAt":1})"));

    const auto activity =
        decodeGolden<WorkflowWidgetActivity>(R"({"workflowID":"w","state":"succeeded","message":"","createdAt":3})");
    EXPECT_EQ(activity.state, WorkflowWidgetActivityState::succeeded);
    EXPECT_NE(encodeRecord(activity).find(R"("state":"succeeded")"), std::string::npos);
    EXPECT_FALSE(
        decodes<WorkflowWidgetActivity>(R"({"workflowID":"w","state":"cancelled","message":"","createdAt":3})"));
    WorkflowLiveActivityStatus status{};
    EXPECT_TRUE(platform::fromRawValue("succeeded", status));
    EXPECT_FALSE(platform::fromRawValue("Succeeded", status));
}

}  // namespace
}  // namespace zentrabo
