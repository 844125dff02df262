// Registry values of a device's hardware key: what a query returns for each buffer.
#include <cstring>
#include <fstream>

#include "fixtures.h"
#include "kernel/registry.h"

namespace kt {
namespace {

class Registry : public Stack {
protected:
    void SetUp() override {
        Stack::SetUp();
        registry::clear();
        arrive();
    }
    void TearDown() override {
        registry::clear();
        Stack::TearDown();
    }
    // Queries `name` into a buffer of the fixed part + the name + `extra` bytes, as a
    // driver sizes it.
    Status query(const std::u16string& name, std::uint32_t extra, std::vector<std::uint8_t>* data,
                 std::uint32_t* type) {
        Handle key = nullptr;
        EXPECT_EQ(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, &key), STATUS_SUCCESS);
        UnicodeString n{static_cast<std::uint16_t>(name.size() * 2), static_cast<std::uint16_t>(name.size() * 2),
                        const_cast<char16_t*>(name.data())};
        std::uint32_t length = sizeof(KeyValueFullInfo) + n.Length + extra;
        std::vector<std::uint8_t> buffer(length);
        std::uint32_t needed = 0;
        Status status = ZwQueryValueKey(key, &n, KeyValueFullInformation, buffer.data(), length, &needed);
        if (NT_SUCCESS(status)) {
            KeyValueFullInfo info;
            std::memcpy(&info, buffer.data(), keyValueFullInformationFixed);
            *type = info.Type;
            data->assign(buffer.begin() + info.DataOffset, buffer.begin() + info.DataOffset + info.DataLength);
        }
        ZwClose(key);
        return status;
    }
};

TEST_F(Registry, FullInformationFitsWhenTheDataFitTheBuffer) {
    registry::set(hardwareId, "MaximumTransferSize", registry::dword(8192));
    registry::set(hardwareId, "Short", registry::binary({1, 2}));
    registry::set(hardwareId, "AsText", registry::text("4096"));
    registry::set(hardwareId, "LongText", registry::text("0123456789ABCDEF"));
    registry::set(hardwareId, std::string(256, 'N'), registry::dword(5));
    struct Case {
        std::u16string name;
        Status status;
        std::uint32_t type;
        std::size_t bytes;
    } cases[] = {
        {u"MaximumTransferSize", STATUS_SUCCESS, REG_DWORD, 4},
        {u"maximumtransfersize", STATUS_SUCCESS, REG_DWORD, 4},  // names ignore case
        {u"Short", STATUS_SUCCESS, REG_BINARY, 2},
        {u"AsText", STATUS_SUCCESS, REG_SZ, 10},                // "4096" and its zero: fits
        {u"LongText", STATUS_BUFFER_OVERFLOW, 0, 0},            // 34 bytes do not
        {std::u16string(256, u'N'), STATUS_SUCCESS, REG_DWORD, 4},
        {u"Missing", STATUS_OBJECT_NAME_NOT_FOUND, 0, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> data;
        std::uint32_t type = 0;
        EXPECT_EQ(query(c.name, 28, &data, &type), c.status) << toUtf8(c.name);
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(type, c.type) << toUtf8(c.name);
            EXPECT_EQ(data.size(), c.bytes) << toUtf8(c.name);
        }
    }
    std::vector<std::uint8_t> data;
    std::uint32_t type;
    query(u"MaximumTransferSize", 28, &data, &type);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x00, 0x20, 0, 0}));
}

TEST_F(Registry, ATooSmallBufferReportsTheSizeNeeded) {
    registry::set(hardwareId, "DebugLevel", registry::dword(3));
    Handle key = nullptr;
    IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, &key);
    UnicodeString n;
    RtlInitUnicodeString(&n, u"DebugLevel");
    std::uint8_t buffer[64];
    std::uint32_t needed = 0;
    EXPECT_EQ(ZwQueryValueKey(key, &n, KeyValueFullInformation, buffer, 8, &needed), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, 40u + 4u) << "20 fixed + 20 of name, data at 40";
    EXPECT_EQ(ZwQueryValueKey(key, &n, KeyValueFullInformation, buffer, 42, &needed), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(ZwQueryValueKey(key, &n, KeyValueFullInformation, buffer, 44, &needed), STATUS_SUCCESS);
    ZwClose(key);
}

TEST_F(Registry, AConfigurationFileSeedsValuesOrIsRefusedWhole) {
    std::string path = ::testing::TempDir() + "/kernel-registry.conf";
    {
        std::ofstream f(path);
        f << "; reader settings\n[" << hardwareId << "]\nMaximumTransferSize=dword:0x2000\nName=sz:RDX\nRaw=hex:01,ff\n";
    }
    std::string error;
    ASSERT_TRUE(registry::loadFile(path, &error)) << error;
    std::vector<std::uint8_t> data;
    std::uint32_t type = 0;
    ASSERT_EQ(query(u"MaximumTransferSize", 28, &data, &type), STATUS_SUCCESS);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x00, 0x20, 0, 0}));
    ASSERT_EQ(query(u"Raw", 28, &data, &type), STATUS_SUCCESS);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 0xff}));
    {
        std::ofstream f(path);
        f << "[" << hardwareId << "]\nDebugLevel=dword:1\nBroken=dword:12x\n";
    }
    EXPECT_FALSE(registry::loadFile(path, &error));
    EXPECT_NE(error.find(":3:"), std::string::npos) << error;
    EXPECT_EQ(query(u"DebugLevel", 28, &data, &type), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST(Versions, TheHostReportsTheConfiguredRelease) {
    setOsVersion(NTDDI_WIN7);
    EXPECT_FALSE(RtlIsNtDdiVersionAvailable(NTDDI_WIN8));
    setOsVersion(NTDDI_WIN10);
    EXPECT_TRUE(RtlIsNtDdiVersionAvailable(NTDDI_WIN8));
}

}  // namespace
}  // namespace kt
