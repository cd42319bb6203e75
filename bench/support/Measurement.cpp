#include "bench/support/Measurement.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "Platform/core/FileDescriptor.h"
#include "Platform/core/UniqueHandle.h"

namespace BenchSupport {

namespace {

using FileDescriptor = Platform::FileDescriptor;

rusage usage() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage;
}

double seconds(timeval time) { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; }

}  // namespace

long peakKiB() { return usage().ru_maxrss; }

double cpuSeconds() {
    const auto now = usage();
    return seconds(now.ru_utime) + seconds(now.ru_stime);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool detail::runInChild(void* outcome, std::size_t size, const std::function<void(void*)>& variant) {
    int ends[2];
    if (::pipe(ends) != 0) return false;
    FileDescriptor reader(ends[0]), writer(ends[1]);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        reader.reset();
        std::vector<char> result(size);
        variant(result.data());
        (void)!::write(writer.get(), result.data(), size);
        ::_exit(0);
    }
    writer.reset();
    const bool whole = ::read(reader.get(), outcome, size) == static_cast<ssize_t>(size);
    ::waitpid(pid, nullptr, 0);
    return whole;
}

Spread spread(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

}  // namespace BenchSupport
