// The DDE frames: round trips, refusal of every malformed body, the bounded
// reader; and the service socket names and directory rules.
#include "DdeTestSupport.h"

#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/DdeWire.h"

#include <gtest/gtest.h>

// Frames are written with designated initializers; the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Platform::Dde;

namespace {

std::vector<Frame> SampleFrames()
{
    return {
        {.kind = FrameKind::CONNECT, .flags = CONNECT_WILD, .instance = "123.4", .service = "MAVO", .topic = "P12L3"},
        {.kind = FrameKind::CONNECT_REPLY, .error = 0x400A, .instance = "9.1"},
        {.kind = FrameKind::TRANSACT, .id = 77, .type = 0x4090, .format = 1, .hasData = true, .item = "BIDRATE",
         .data = std::string("1.25\0", 5)},
        {.kind = FrameKind::REPLY, .id = 77, .format = 1, .status = 0x8000, .hasData = true,
         .data = std::string(3000, 'x')},
        {.kind = FrameKind::ADVISE, .format = 1, .item = "OFFERRATE"},
    };
}

std::string Body(const Frame& frame)
{
    std::string bytes;
    EXPECT_TRUE(EncodeFrame(frame, bytes));
    return bytes.substr(HEADER_SIZE);
}

std::string WithLength(const std::string& body)
{
    std::string bytes;
    const auto size = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((size >> (8 * i)) & 0xFF));
    return bytes + body;
}

} // namespace

TEST(DdeWire, EveryKindRoundTripsThroughTheReaderEvenByteByByte)
{
    std::string stream;
    for (const auto& frame : SampleFrames())
        ASSERT_TRUE(EncodeFrame(frame, stream));
    FrameReader reader;
    std::vector<Frame> read;
    for (char byte : stream) {
        reader.Append(&byte, 1);
        Frame frame;
        while (reader.Next(frame) == FrameReader::FRAME)
            read.push_back(frame);
    }
    EXPECT_EQ(read, SampleFrames());
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(DdeWire, EncoderRefusesNamesAndDataBeyondTheLimits)
{
    std::string out;
    Frame frame;
    frame.kind = FrameKind::TRANSACT;
    frame.item = std::string(MAX_NAME + 1, 'a');
    EXPECT_FALSE(EncodeFrame(frame, out));
    frame.item = std::string("a\0b", 3);
    EXPECT_FALSE(EncodeFrame(frame, out));
    frame.item = "ok";
    frame.data.assign(MAX_DATA + 1, 'z');
    EXPECT_FALSE(EncodeFrame(frame, out));
    EXPECT_TRUE(out.empty());
    frame.data.assign(MAX_DATA, 'z');
    EXPECT_TRUE(EncodeFrame(frame, out));
}

TEST(DdeWire, MalformedBodiesAreRefused)
{
    const Frame transact = SampleFrames()[2];
    const std::string good = Body(transact);
    Frame out;
    ASSERT_TRUE(DecodeBody(good, out));
    // Cut short at every length.
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(DecodeBody(good.substr(0, cut), out)) << cut;
    // A byte left over.
    EXPECT_FALSE(DecodeBody(good + "x", out));
    // An unknown kind.
    std::string unknown = good;
    unknown[0] = 9;
    EXPECT_FALSE(DecodeBody(unknown, out));
    // A has-data flag that is neither 0 nor 1.
    std::string flag = good;
    const std::size_t flagAt = 1 + 12 + 2 + transact.item.size();
    flag[flagAt] = 2;
    EXPECT_FALSE(DecodeBody(flag, out));
    // A NUL inside a name.
    std::string nul = good;
    nul[1 + 12 + 2] = '\0';
    EXPECT_FALSE(DecodeBody(nul, out));
    // A name longer than the limit, though the bytes are there.
    std::string longName = good;
    longName[1 + 12] = static_cast<char>(0x00);
    longName[1 + 12 + 1] = static_cast<char>(0x01);  // 256
    longName.insert(1 + 12 + 2, std::string(256 - transact.item.size(), 'q'));
    EXPECT_FALSE(DecodeBody(longName, out));
}

TEST(DdeWire, ReaderRejectsBadLengthsAndStaysBadUntilReset)
{
    for (const std::string& header : {std::string(4, '\0'), std::string("\xFF\xFF\xFF\x7F", 4)}) {
        FrameReader reader;
        reader.Append(header.data(), header.size());
        Frame frame;
        EXPECT_EQ(reader.Next(frame), FrameReader::BAD);
        const std::string good = WithLength(Body(SampleFrames()[0]));
        reader.Append(good.data(), good.size());
        EXPECT_EQ(reader.Next(frame), FrameReader::BAD);
        reader.Reset();
        reader.Append(good.data(), good.size());
        EXPECT_EQ(reader.Next(frame), FrameReader::FRAME);
    }
}

TEST(DdeWire, ReaderHoldsNoMoreThanOneFrameWhileWaiting)
{
    FrameReader reader;
    const std::string header = WithLength(std::string(MAX_BODY, 'x')).substr(0, 4);
    reader.Append(header.data(), header.size());
    const std::string block(64 * 1024, 'x');
    Frame frame;
    std::size_t given = 0;
    FrameReader::Result result = FrameReader::NEED_MORE;
    while (given < MAX_BODY + block.size() && result == FrameReader::NEED_MORE) {
        reader.Append(block.data(), block.size());
        given += block.size();
        EXPECT_LE(reader.Buffered(), HEADER_SIZE + MAX_BODY + block.size());
        result = reader.Next(frame);
    }
    // The body's first byte is 'x', no frame kind: refused once complete.
    EXPECT_EQ(result, FrameReader::BAD);
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(DdeServiceNames, EscapedNamesParseBackAndForeignFileNamesAreIgnored)
{
    std::string service;
    std::string instance;
    for (const std::string name : {"MAVO", "Excel", "a.b", "with space", "per%cent", "x(1)", "\xE9t\xE9"}) {
        const std::string file = SocketFileName(name, "4242.7");
        EXPECT_EQ(file.find('/'), std::string::npos);
        ASSERT_TRUE(ParseSocketFileName(file, service, instance)) << file;
        EXPECT_EQ(service, name);
        EXPECT_EQ(instance, "4242.7");
    }
    for (const char* name : {"MAVO.dde", "MAVO.1.dde", "MAVO.1.x.dde", ".1.2.dde", "MAVO.1.2.sock", "%4D.1.2.dde",
                             "%ZZ.1.2.dde", "a%2.1.2.dde", "a%00.1.2.dde", "a b.1.2.dde", ".tmp-1.2-0"})
        EXPECT_FALSE(ParseSocketFileName(name, service, instance)) << name;
}

TEST(DdeServiceNames, CaseIsFoldedForAsciiOnly)
{
    EXPECT_TRUE(EqualNoCase("Mavo", "mAVO"));
    EXPECT_FALSE(EqualNoCase("MAVO", "MAV0"));
    EXPECT_FALSE(EqualNoCase("\xC9", "\xE9"));
    EXPECT_EQ(FoldCase("P12L3"), "p12l3");
}

struct DdeDirectoryTest : ::testing::Test {
    ddetest::ScopedRuntimeDir runtime;
};

TEST_F(DdeDirectoryTest, DirectoryIsMadePrivateAndRefusedWhenOthersMayEnterOrALinkStandsInIt)
{
    testsupport::TempDir elsewhere;
    ASSERT_EQ(::chmod(elsewhere.str().c_str(), 0700), 0);
    ASSERT_EQ(::symlink(elsewhere.str().c_str(), runtime.SocketDir().c_str()), 0);
    std::string dir;
    EXPECT_FALSE(PrepareRuntimeDirectory(dir));
    ASSERT_EQ(::unlink(runtime.SocketDir().c_str()), 0);

    ASSERT_TRUE(PrepareRuntimeDirectory(dir));
    EXPECT_EQ(dir, runtime.SocketDir());
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    EXPECT_FALSE(PrepareRuntimeDirectory(dir));
    EXPECT_EQ(errno, EACCES);
}

TEST_F(DdeDirectoryTest, ListingMatchesAnyCaseAndSkipsWhatIsNoSocket)
{
    std::string dir;
    ASSERT_TRUE(PrepareRuntimeDirectory(dir));
    auto makeSocket = [&](const std::string& name) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir + "/" + name;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    };
    makeSocket(SocketFileName("MAVO", "1.1"));
    makeSocket(SocketFileName("Other", "1.2"));
    FILE* plain = std::fopen((dir + "/" + SocketFileName("mavo", "1.3")).c_str(), "w");
    ASSERT_NE(plain, nullptr);
    std::fclose(plain);
    auto files = ListServiceFiles(dir, "mAvO");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].service, "MAVO");
    EXPECT_EQ(files[0].instanceName, "1.1");
    EXPECT_EQ(ListServiceFiles(dir, "").size(), 2u);
}
