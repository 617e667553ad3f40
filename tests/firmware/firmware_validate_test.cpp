#include "firmware/firmware_files.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/firmware_validate.h"
#include "firmware/hex.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string not_valid = "FIRMWARE FILE IS NOT VALID!";

FileImage image_at(const std::filesystem::path& path)
{
    FileImage image;
    image.path = path.string();
    return image;
}

struct Validation {
    bool valid = false;
    std::string out;
    FileImage image;
    Sha256Digest digest{};
};

Validation validate(const std::filesystem::path& path)
{
    Validation result;
    result.image = image_at(path);
    CaptureStdout();
    result.valid = firmware_validate(result.image, result.digest);
    result.out = GetCapturedStdout();
    return result;
}

struct PackageLoad {
    int code = 0;
    std::string out;
};

PackageLoad load_package(const std::filesystem::path& path)
{
    PackageLoad result;
    FileImage image = image_at(path);
    std::optional<std::vector<std::uint8_t>> digest;
    Sha256 context = sha256_start();
    CaptureStdout();
    result.code = firmware_prepare_package(image, digest, context);
    result.out = GetCapturedStdout();
    return result;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class FirmwareFiles : public testing::Test {
protected:
    TempDir dir;
    // Small enough to be quick, large enough to hold the record.
    std::vector<std::uint8_t> image = make_firmware_image(firmware_image_min_size + 5000);
};

TEST(FileExtension, TakesTheTextAfterTheLastDotUnlessItLeads)
{
    EXPECT_EQ(file_extension("fw.2024.bin"), "bin");
    EXPECT_EQ(file_extension("firmware.BIN"), "BIN");
    EXPECT_EQ(file_extension("/tmp/image.binary"), "binary");
    EXPECT_EQ(file_extension("firmware"), "");
    EXPECT_EQ(file_extension(".bin"), "");
    EXPECT_EQ(file_extension("firmware."), "");
}

TEST(Hex, EncodesLowercaseAndDecodesEitherCase)
{
    const std::vector<std::uint8_t> bytes{0xAB, 0x01, 0x00, 0xFF, 0x5C};
    EXPECT_EQ(hex_encode(bytes), "ab0100ff5c");
    EXPECT_EQ(hex_decode("ab0100ff5c"), bytes);
    EXPECT_EQ(hex_decode("AB0100FF5C"), bytes);
    EXPECT_EQ(hex_encode({}), "");
}

TEST(Hex, RefusesOddLengthsAndForeignCharacters)
{
    EXPECT_FALSE(hex_decode("abc"));
    EXPECT_FALSE(hex_decode("ag"));
    EXPECT_FALSE(hex_decode("a\n"));
    EXPECT_FALSE(hex_decode(std::string_view("ab\0c", 4)));
}

TEST_F(FirmwareFiles, FileNamesWithOtherExtensionsAreNotSupported)
{
    for (const char* name : {"firmware.BIN", "firmware.Binary", "firmware"}) {
        write_package(dir / name, package_entries(image));
        const Validation result = validate(dir / name);
        EXPECT_FALSE(result.valid) << name;
        EXPECT_EQ(result.out, "\nFile format not supported.\n" + not_valid) << name;
    }
}

TEST_F(FirmwareFiles, SoundPackageIsValidAndItsDigestMatchesSha256sum)
{
    write_package(dir / "fw.2024.bin", package_entries(image));
    write_bytes(dir / "plain", image);
    const Validation result = validate(dir / "fw.2024.bin");
    EXPECT_TRUE(result.valid) << result.out;
    EXPECT_EQ(result.image.data, image);
    EXPECT_EQ(result.image.size, image.size());
    EXPECT_EQ(hex_encode(result.digest), sha256sum_of(dir / "plain"));
    EXPECT_EQ(result.out.find(not_valid), std::string::npos);
}

TEST_F(FirmwareFiles, UppercaseDigestIsAccepted)
{
    std::vector<PackageEntry> entries = package_entries(image);
    for (std::uint8_t& c : entries[0].content)
        c = static_cast<std::uint8_t>(std::toupper(c));
    write_package(dir / "fw.bin", entries);
    EXPECT_TRUE(validate(dir / "fw.bin").valid);
}

TEST_F(FirmwareFiles, DigestMismatchIsReportedAndRefused)
{
    std::vector<PackageEntry> entries = package_entries(image);
    entries[1].content[100] ^= 0x01;
    write_package(dir / "fw.bin", entries);
    const Validation result = validate(dir / "fw.bin");
    EXPECT_FALSE(result.valid);
    EXPECT_TRUE(ends_with(result.out, "File is invalid (h).\n" + not_valid)) << result.out;
}

TEST_F(FirmwareFiles, DigestTextThatIsNotHexIsRefusedWithoutMismatchMessage)
{
    std::vector<PackageEntry> entries = package_entries(image);
    entries[0].content[10] = 'g';
    write_package(dir / "fw.bin", entries);
    const Validation result = validate(dir / "fw.bin");
    EXPECT_FALSE(result.valid);
    EXPECT_EQ(result.out.find("(h)"), std::string::npos);
    EXPECT_TRUE(ends_with(result.out, "Preparing file '" + (dir / "fw.bin").string() + "'.\r\n" + not_valid))
        << result.out;
}

TEST_F(FirmwareFiles, EveryPackageFaultGivesItsMessageAndCode)
{
    const std::vector<PackageEntry> good = package_entries(image);
    struct Fault {
        const char* what;
        std::vector<PackageEntry> entries;
        int code;
        const char* message;
    };
    auto with = [&](auto change) {
        std::vector<PackageEntry> entries = good;
        change(entries);
        return entries;
    };
    const std::vector<Fault> faults = {
        {"no digest entry", {good[1]}, -8, "File format is invalid (bh).\n"},
        {"digest name in other case", with([](auto& e) { e[0].name = "KELPU.bh"; }), -8,
         "File format is invalid (bh).\n"},
        {"digest unencrypted", with([](auto& e) { e[0].encryption = ZIP_EM_NONE; }), -15,
         "File format is invalid (ppfbh).\n"},
        {"digest AES-128", with([](auto& e) { e[0].encryption = ZIP_EM_AES_128; }), -15,
         "File format is invalid (ppfbh).\n"},
        {"digest AES-192", with([](auto& e) { e[0].encryption = ZIP_EM_AES_192; }), -15,
         "File format is invalid (ppfbh).\n"},
        {"digest traditional PKWARE", with([](auto& e) { e[0].encryption = ZIP_EM_TRAD_PKWARE; }), -15,
         "File format is invalid (ppfbh).\n"},
        {"digest wrong password", with([](auto& e) { e[0].password = "not the package password"; }), -11,
         "File format is invalid (pbh).\n"},
        {"digest with line end", with([](auto& e) { e[0].content.push_back('\n'); }), -7,
         "File content length is invalid (bh).\n"},
        {"digest one digit short", with([](auto& e) { e[0].content.pop_back(); }), -7,
         "File content length is invalid (bh).\n"},
        {"no image entry", {good[0]}, -4, "File format is invalid (binary).\n"},
        {"image unencrypted", with([](auto& e) { e[1].encryption = ZIP_EM_NONE; }), -15,
         "File format is invalid (ppfb).\n"},
        {"image AES-128", with([](auto& e) { e[1].encryption = ZIP_EM_AES_128; }), -15,
         "File format is invalid (ppfb).\n"},
        {"image wrong password", with([](auto& e) { e[1].password = "not the package password"; }), -12,
         "File format is invalid (pbh).\n"},
    };
    for (const Fault& fault : faults) {
        write_package(dir / "fw.bin", fault.entries);
        const PackageLoad load = load_package(dir / "fw.bin");
        EXPECT_EQ(load.code, fault.code) << fault.what;
        EXPECT_TRUE(ends_with(load.out, fault.message)) << fault.what << ": " << load.out;

        const Validation result = validate(dir / "fw.bin");
        EXPECT_FALSE(result.valid) << fault.what;
        EXPECT_TRUE(ends_with(result.out, std::string(fault.message) + not_valid)) << fault.what;
    }
}

TEST_F(FirmwareFiles, BytesThatAreNoArchiveCannotBeOpened)
{
    write_bytes(dir / "empty.bin", {});
    write_bytes(dir / "text.bin", text_bytes("this is not a ZIP archive at all"));
    for (const char* name : {"empty.bin", "text.bin", "missing.bin"}) {
        const PackageLoad load = load_package(dir / name);
        EXPECT_EQ(load.code, -9) << name;
        EXPECT_TRUE(ends_with(load.out, "File format is invalid (open).\n")) << name << ": " << load.out;
    }
}

TEST_F(FirmwareFiles, LoadersWithoutDigestContextReportParametersError)
{
    write_package(dir / "fw.bin", package_entries(image));
    write_bytes(dir / "fw.binary", image);
    FileImage package = image_at(dir / "fw.bin");
    FileImage raw = image_at(dir / "fw.binary");
    std::optional<std::vector<std::uint8_t>> digest;
    Sha256 none;
    CaptureStdout();
    EXPECT_EQ(firmware_prepare_package(package, digest, none), -10);
    EXPECT_EQ(firmware_prepare_raw(raw, none), -10);
    const std::string out = GetCapturedStdout();
    const std::string prepare_package = "Preparing file...\nPreparing file '" + package.path + "'.\r\n";
    const std::string prepare_raw = "Preparing file...\nPreparing file '" + raw.path + "'.\r\n";
    EXPECT_EQ(out, prepare_package + "Parameters error.\n" + prepare_raw + "Parameters error.\n");
    EXPECT_TRUE(raw.data.empty());
}

TEST_F(FirmwareFiles, MissingRawFileIsNotValidAfterThePreparingLines)
{
    const std::filesystem::path path = dir / "nowhere.binary";
    const Validation result = validate(path);
    EXPECT_FALSE(result.valid);
    EXPECT_EQ(result.out, "\nPreparing file...\nPreparing file '" + path.string() + "'.\r\n" + not_valid);
}

TEST_F(FirmwareFiles, RawImageSizeLimits)
{
    const struct {
        std::size_t size;
        bool valid;
    } cases[] = {{1'835'191, false}, {1'835'192, true}, {16'777'214, true}, {16'777'215, false}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> bytes = make_firmware_image(c.size);
        write_bytes(dir / "fw.binary", bytes);
        const Validation result = validate(dir / "fw.binary");
        EXPECT_EQ(result.valid, c.valid) << c.size;
        EXPECT_EQ(result.image.size, c.size);
        EXPECT_EQ(result.image.data.size(), c.size);
        if (c.valid)
            EXPECT_EQ(hex_encode(result.digest), sha256sum_of(dir / "fw.binary")) << c.size;
        else
            EXPECT_TRUE(ends_with(result.out, ".\r\n" + not_valid)) << c.size;
    }
}

TEST_F(FirmwareFiles, OnlyTheFourModelNamesAreAccepted)
{
    const struct {
        std::string_view model;
        bool valid;
    } cases[] = {{"ZANTOR-1", true},  {"ZANTOR-4", true},  {"ZANTOR-5", false},
                 {"zantor-1", false}, {"ZANTOR-10", false}, {"ZANTOR-", false},
                 {std::string_view("ZANTOR-3\0tail text", 18), true}};
    for (const auto& c : cases) {
        write_bytes(dir / "fw.binary", make_firmware_image(firmware_image_min_size, c.model));
        EXPECT_EQ(validate(dir / "fw.binary").valid, c.valid) << c.model;
        EXPECT_EQ(firmware_check_info(make_firmware_image(firmware_image_min_size, c.model)),
                  c.valid ? 0 : -1)
            << c.model;
    }
}

TEST_F(FirmwareFiles, ValidImageLogsItsInformationRecord)
{
    std::vector<std::uint8_t> bytes = make_firmware_image(firmware_image_min_size, "ZANTOR-4");
    // A description that fills its whole field, without a NUL, stops at the field's end.
    std::fill_n(bytes.begin() + firmware_info_offset + 45, 33, 'D');
    CaptureStdout();
    EXPECT_EQ(firmware_check_info(bytes), 0);
    EXPECT_EQ(GetCapturedStdout(), "== Firmware Info ==\r\n"
                                   "model_name=ZANTOR-4\r\n"
                                   "model_description=" + std::string(33, 'D') + "\r\n"
                                   "version_string=4.2.17\r\n"
                                   "version_number=262673\r\n"
                                   "version_date=Mar 14 2024\r\n"
                                   "version_time=09:26:53\r\n"
                                   "dali_number_of_channel=4\r\n"
                                   "== ==\r\n");
}

TEST(FirmwareInfoRecord, IsReadOnlyFromImagesLargeEnough)
{
    FirmwareInfo info;
    EXPECT_EQ(firmware_read_info(make_firmware_image(firmware_image_min_size - 1), info), 1);
    EXPECT_EQ(firmware_read_info(make_firmware_image(firmware_image_min_size), info), 0);
    EXPECT_EQ(info.version_number, 0x00040211u);
    EXPECT_EQ(info.dali_number_of_channel, 4);
    EXPECT_STREQ(info.model_name.data(), "ZANTOR-2");
    EXPECT_EQ(firmware_check_info({}), 1);
}

} // namespace
