#pragma once
// The terminal front of the server: the least stand-in for the status menu
// and the settings windows. It reads one command per line and answers with a
// first line saying what it did, then one line per listed item.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zentrabo {

class HalvardineServer;
class TerminalEvents;
struct TerminalContext;

class TerminalFront {
public:
    using LineWriter = std::function<void(std::string_view line)>;  // one output line, no '\n'
    // Runs on the main loop; the server and the events outlive the front.
    // desktop says which desktop the server controls ("X11 display :0"). quit
    // is called by the "quit" command; detach, given to the front of an
    // attached console only, by its "detach" command, after which the front
    // runs no further line.
    TerminalFront(HalvardineServer& server, TerminalEvents& events, std::string desktop, LineWriter writeLine,
                  std::function<void()> quit, std::function<void()> detach = {});
    ~TerminalFront();
    TerminalFront(const TerminalFront&) = delete;
    TerminalFront& operator=(const TerminalFront&) = delete;

    // One line of standard input (without its line feed), on the main loop.
    // While a command's answer is pending (password operations finish on
    // another thread), the line waits behind it, holding `hold` until it runs;
    // a line whose answer comes later holds it until it has answered.
    void handleLine(std::string_view line, std::shared_ptr<void> hold = {});

private:
    // Shared with the completions of password operations, which hold it
    // weakly: a completion that arrives after the front is gone prints nothing.
    std::shared_ptr<TerminalContext> context_;
    std::shared_ptr<void> eventSubscription_;
};

}  // namespace zentrabo
