// Listing a folder of 100,000 files sorted by name through the file-resource
// listing (one stat per entry, content types, collation keys, the stable
// sort), beside `ls -f` of the same folder (no sort, no stat) and a bare
// readdir walk, in the same run; the ratios are printed at the end. The
// folder is created in a temporary directory at start and removed at exit.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "app/server_identity.hpp"
#include "ratio_reporter.hpp"
#include "server/files/remote_file_resource.hpp"

extern char** environ;

namespace {

constexpr int kFileCount = 100000;

std::filesystem::path& folder() {
    static std::filesystem::path path;
    return path;
}

void createFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-bench-XXXXXX").string();
    folder() = mkdtemp(pattern.data());
    // Numbered names in shuffled creation order, so neither the directory
    // order nor the names arrive presorted.
    std::vector<int> numbers(kFileCount);
    for (int i = 0; i < kFileCount; ++i) numbers[i] = i;
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
    for (int number : numbers) {
        const std::string path = (folder() / ("Report " + std::to_string(number) + ".txt")).string();
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (descriptor >= 0) ::close(descriptor);
    }
}

void BM_ListFolderSortedByName(benchmark::State& state) {
    zentrabo::RemoteFileResourceQuery query;
    query.path = folder().string();
    for (auto _ : state) {
        zentrabo::RemoteFileResource resource = zentrabo::loadRemoteFileResource(query);
        if (resource.entries->size() != kFileCount) state.SkipWithError("wrong entry count");
        benchmark::DoNotOptimize(resource);
    }
}

void BM_LsUnsorted(benchmark::State& state) {
    const std::string path = folder().string();
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        char* arguments[] = {const_cast<char*>("ls"), const_cast<char*>("-f"), const_cast<char*>(path.c_str()),
                             nullptr};
        pid_t child = 0;
        const int spawned = posix_spawnp(&child, "ls", &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || waitpid(child, &status, 0) < 0 || status != 0) state.SkipWithError("ls -f failed");
    }
}

void BM_BareDirectoryWalk(benchmark::State& state) {
    for (auto _ : state) {
        DIR* directory = opendir(folder().c_str());
        std::size_t count = 0;
        while (readdir(directory) != nullptr) ++count;
        closedir(directory);
        benchmark::DoNotOptimize(count);
    }
}

BENCHMARK(BM_ListFolderSortedByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LsUnsorted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareDirectoryWalk)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The listing refuses the server's own folders, which the identity names.
    zentrabo::platform::setProductIdentity(zentrabo::serverIdentity());
    createFolder();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);

    const auto time = [&](const char* name) { return reporter.seconds(name); };
    const double listing = time("BM_ListFolderSortedByName");
    if (time("BM_LsUnsorted") > 0) {
        std::printf("sorted listing / ls -f:          %.2f\n", listing / time("BM_LsUnsorted"));
    }
    if (time("BM_BareDirectoryWalk") > 0) {
        std::printf("sorted listing / bare readdir:   %.2f\n", listing / time("BM_BareDirectoryWalk"));
    }
    benchmark::Shutdown();
    return 0;
}
