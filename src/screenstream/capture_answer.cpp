#include "screenstream/capture_answer.hpp"

#include <exception>

namespace zentrabo {

asio::awaitable<CaptureResult> captureAnswer(const std::function<void(platform::CaptureStream::Completion)>& operation,
                                             DroppedCaptureAnswer dropped) {
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    std::function<void(platform::AnswerCompletion<CaptureResult>)> start =
        [&operation](platform::AnswerCompletion<CaptureResult> completion) { operation(std::move(completion)); };
    std::function<std::exception_ptr()> whenDropped = [dropped]() -> std::exception_ptr {
        if (dropped == DroppedCaptureAnswer::waitsForTheDeadline) return nullptr;
        return std::make_exception_ptr(platform::ScreenCaptureError("The capture stream did not answer."));
    };
    CaptureResult result = co_await platform::awaitAnswer<CaptureResult>(std::move(start), std::move(whenDropped));
    co_return result;
}

}  // namespace zentrabo
