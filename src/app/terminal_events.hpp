#pragma once
// The lines every front prints without being asked: a device completed a
// pairing, a device was refused because its pairing could not be stored, or
// what the program itself announces (a stream that runs without sound).
// The server is observed once, however many fronts come and go (each
// attached console has one), and each line goes to every front subscribed.
#include <functional>
#include <list>
#include <memory>
#include <string_view>

namespace zentrabo {

class ClientAuthorizer;

class TerminalEvents {
public:
    using LineWriter = std::function<void(std::string_view line)>;
    // Observes the authorizer, which outlives this object; on the main loop.
    explicit TerminalEvents(const ClientAuthorizer& authorization);
    TerminalEvents(const TerminalEvents&) = delete;
    TerminalEvents& operator=(const TerminalEvents&) = delete;

    // The writer gets every event line until the returned subscription goes.
    [[nodiscard]] std::shared_ptr<void> subscribe(LineWriter writer);
    // On the main loop: the line goes to every front subscribed.
    void announce(std::string_view line) const { writers_->write(line); }

private:
    struct Writers {
        std::list<LineWriter> list;
        void write(std::string_view line) const;
    };
    // Held weakly by the observers and the subscriptions, which may outlive it.
    std::shared_ptr<Writers> writers_ = std::make_shared<Writers>();
};

}  // namespace zentrabo
