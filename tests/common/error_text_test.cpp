// Texts of errors asio really raises, and the sources' own habits with them.
#include "norvex/common/coro_support.hpp"
#include "norvex/common/error_text.hpp"

#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

#include <unistd.h>

namespace asio = boost::asio;
using namespace norvex;
using ::testing::HasSubstr;

namespace {

// What asio throws for a read of a pipe that is cancelled while it waits.
std::exception_ptr cancelled_pipe_read() {
    asio::io_context io;
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("no pipe");
    asio::posix::stream_descriptor reader(io, ends[0]);
    std::exception_ptr raised;
    asio::co_spawn(io, [&]() -> asio::awaitable<void> {
        char byte;
        co_await reader.async_read_some(asio::buffer(&byte, 1), asio::use_awaitable);
    }, [&](std::exception_ptr e) { raised = e; });
    io.poll();  // the read now waits for a byte that never comes
    reader.cancel();
    io.run();
    ::close(ends[1]);
    return raised;
}

boost::system::system_error as_system_error(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const boost::system::system_error& error) {
        return error;
    }
}

}  // namespace

TEST(ErrorText, AsioFailuresReadAsTheirContextAndMessage) {
    const std::exception_ptr raised = cancelled_pipe_read();
    const boost::system::system_error located = as_system_error(raised);
    ASSERT_THAT(located.what(), HasSubstr(".hpp:"));  // what Boost itself says
    const std::string message = located.code().message();

    EXPECT_EQ(error_message(located), message);
    EXPECT_EQ(exception_text(raised), message);
    EXPECT_EQ(error_message(boost::system::system_error(located.code(), "Worker w1 stdout")),
              "Worker w1 stdout: " + message);
    EXPECT_EQ(error_message(std::runtime_error("stderr: [x]")), "stderr: [x]");  // other errors as they are
    EXPECT_EQ(exception_text(std::make_exception_ptr(42)), std::nullopt);

    // Thrown or passed on, a system error keeps its type and code, and says its context and message.
    try {
        throw SystemError(located.code(), "Worker w1 stdout");
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(std::string(e.what()), "Worker w1 stdout: " + message);
        EXPECT_EQ(e.code(), located.code());
    }
    try {
        rethrow_with_plain_text(raised);
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(std::string(e.what()), message);
        EXPECT_EQ(e.code(), located.code());
    }
    EXPECT_THROW(rethrow_with_plain_text(std::make_exception_ptr(std::invalid_argument("bad"))), std::invalid_argument);
}

// Not a substitute for the tests that provoke the failures: a guard against
// the habits that put Boost's bracket into texts coming back.
TEST(ErrorText, SourcesNeverBuildTextsFromBoostsOwnWhat) {
    const std::filesystem::path root = NORVEX_SOURCE_DIR;
    const std::vector<std::pair<std::regex, std::string>> habits{
        {std::regex(R"(throw\s+boost::system::system_error\b)"), "a raw Boost system error thrown (use SystemError)"},
        {std::regex(R"(\bec\.(what|to_string)\(\))"), "an error code's what() or to_string() (use message())"},
        {std::regex(R"(code\(\)\.(what|to_string)\(\))"), "an error code's what() or to_string() (use message())"},
    };
    std::size_t files = 0;
    for (const char* folder : {"norvex", "apps"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".hpp")) continue;
            if (entry.path().filename().string().starts_with("error_text.")) continue;  // the one place that may
            ++files;
            std::ifstream in(entry.path());
            const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            for (const auto& [pattern, habit] : habits) {
                EXPECT_FALSE(std::regex_search(text, pattern))
                    << std::filesystem::relative(entry.path(), root).string() << ": " << habit;
            }
        }
    }
    EXPECT_GT(files, 100u);  // the tree was found
}
