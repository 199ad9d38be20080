#include "common/DrillsKill.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace kelvra::test {

bool DrillsRunAndKill(const std::function<void()>& body, std::chrono::microseconds after) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        for (;;) body();  // ends only by the parent's kill
    }
    std::this_thread::sleep_for(after);
    ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace kelvra::test
