#include "system_test.hpp"

TEST(SharedMemory, HandlesSeeTheSameBytesAndEveryCreateZeroesThem) {
    const std::string name = unique_name("same");
    block first(os_sharememory_create(name.c_str(), 4096));
    unsigned char* written = bytes_of(first);
    ASSERT_EQ(std::count(written, written + 4096, 0), 4096);
    for (size_t i = 0; i < 4096; ++i) written[i] = static_cast<unsigned char>(i * 7 + 1);
    block opened(os_sharememory_open(("Local\\" + name).c_str()));
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(std::equal(written, written + 4096, bytes_of(opened)));
    // A larger block would write past the existing one: refused, untouched.
    EXPECT_EQ(os_sharememory_create(name.c_str(), 4097), nullptr);
    block partial(os_sharememory_create(name.c_str(), 1000));
    EXPECT_EQ(std::count(bytes_of(opened), bytes_of(opened) + 1000, 0), 1000);
    EXPECT_EQ(written[1000], static_cast<unsigned char>(1000 * 7 + 1));
}

TEST(SharedMemory, NamesThatMakeABlockAndNamesThatCannot) {
    // A unique name of `n` bytes.
    auto padded = [](size_t n) { return unique_name("p").append(n, 'p').substr(0, n); };
    const std::tuple<std::string, uint32_t, bool> rows[] = {
        {unique_name("empty"), 0, false},      // a size of 0
        {std::string(1024, 'n'), 16, false},   // too long a name
        {std::string(1023, 'n'), 16, true},    // however long its system name
        {unique_name("a\\b/c d%"), 16, true},  // any byte
        // Around the lengths where a name gives way to its hash: 255 and 256
        // bytes of system name on Linux, 259 and 260 on Windows.
        {padded(243), 16, true}, {padded(244), 16, true}, {padded(259), 16, true},
        {padded(260), 16, true}};
    for (const auto& [name, size, valid] : rows) {
        block made(os_sharememory_create(name.c_str(), size));
        block found(os_sharememory_open(name.c_str()));
        EXPECT_EQ(made != nullptr, valid) << name.size() << " bytes";
        ASSERT_EQ(found != nullptr, valid) << name.size() << " bytes";
        if (!valid) continue;
        bytes_of(made)[15] = 7;
        EXPECT_EQ(bytes_of(found)[15], 7);
    }
    EXPECT_EQ(os_sharememory_open("corvane-no-such-block"), nullptr);
}

TEST(SharedMemory, CloseEmptiesTheHandleAndTheLastCloseEndsTheBlock) {
    const std::string name = unique_name("close");
    os_sharememory_handle* handle = os_sharememory_create(name.c_str(), 64);
    os_sharememory_close(handle);
    EXPECT_EQ(os_sharememory_get_buffer(handle), nullptr);
    os_sharememory_close(handle);
    os_sharememory_destroy(&handle);
    EXPECT_TRUE(handle == nullptr && os_sharememory_open(name.c_str()) == nullptr);
    block first(os_sharememory_create(nullptr, 64)), second(os_sharememory_create("", 64));
    bytes_of(first)[0] = 1;
    EXPECT_EQ(bytes_of(second)[0], 0) << "unnamed blocks are separate";
}

// Whether the probe opened the block that this process made or made it
// itself, it outlives this process's hold and takes the block with it.
TEST(SharedMemoryProcesses, TheBlockLivesUntilItsLastHolderEndsHoweverItEnds) {
    const temp_folder folder;
    const std::string name = unique_name("lifetime");
    for (const std::string role : {"open", "create"}) {
        block made(role == "open" ? os_sharememory_create(name.c_str(), 256) : nullptr);
        auto holder = child_process::program({probe(), "hold", folder.join(role), role, name});
        ASSERT_EQ(read_report(folder.join(role)), "held") << role;
        made.reset();
        block seen(os_sharememory_open(name.c_str()));
        ASSERT_NE(seen, nullptr) << role;
        EXPECT_STREQ(reinterpret_cast<char*>(bytes_of(seen)), "held");
        seen.reset();
        EXPECT_EQ(holder.kill_and_wait(), killed_status);
        EXPECT_EQ(os_sharememory_open(name.c_str()), nullptr) << role;
    }
}
