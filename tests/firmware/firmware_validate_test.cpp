#include "firmware/firmware_files.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/firmware_validate.h"
#include "firmware/hex.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

using namespace std::literals;

const std::string not_valid = "FIRMWARE FILE IS NOT VALID!";

struct Outcome {
    int code = 0; // the loader's code, or whether the chain found the image valid
    std::string out;
    FileImage image;
    Sha256Digest digest{};
};

Outcome validate(const std::filesystem::path& path)
{
    Outcome result;
    result.image.path = path.string();
    CaptureStdout();
    result.code = firmware_validate(result.image, result.digest);
    result.out = GetCapturedStdout();
    return result;
}

Outcome load_package(const std::filesystem::path& path, Sha256 context = sha256_start())
{
    Outcome result;
    result.image.path = path.string();
    std::optional<std::vector<std::uint8_t>> digest;
    CaptureStdout();
    result.code = firmware_prepare_package(result.image, digest, context);
    result.out = GetCapturedStdout();
    return result;
}

std::string preparing(const std::filesystem::path& path)
{
    return "Preparing file...\nPreparing file '" + path.string() + "'.\r\n";
}

std::uint32_t read_le(const std::vector<std::uint8_t>& bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

void write_le32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Where the package's parts lie, from its central directory: the record and
// the local header of the named entry, and the end of its data.
struct EntryPlace {
    std::size_t central, local, data_end;
};

EntryPlace find_entry(const std::vector<std::uint8_t>& zip, std::string_view name)
{
    const std::size_t end_record = zip.size() - 22;
    std::size_t at = read_le(zip, end_record + 16, 4);
    const std::size_t directory = at;
    std::vector<std::size_t> locals;
    std::optional<EntryPlace> found;
    while (read_le(zip, at, 4) == 0x02014b50) {
        const std::size_t name_length = read_le(zip, at + 28, 2);
        const std::size_t local = read_le(zip, at + 42, 4);
        locals.push_back(local);
        if (std::string_view(reinterpret_cast<const char*>(zip.data() + at + 46), name_length) == name)
            found = EntryPlace{at, local, 0};
        at += 46 + name_length + read_le(zip, at + 30, 2) + read_le(zip, at + 32, 2);
    }
    if (!found)
        throw std::runtime_error("no such entry");
    // The entry's data ends where the next local header or the directory starts.
    found->data_end = directory;
    for (const std::size_t local : locals) {
        if (local > found->local && local < found->data_end)
            found->data_end = local;
    }
    return *found;
}

class FirmwareFiles : public testing::Test {
protected:
    TempDir dir;
    std::vector<std::uint8_t> image = make_firmware_image(firmware_image_min_size + 5000);
};

TEST(FirmwareText, ExtensionsAndHex)
{
    EXPECT_EQ(file_extension("fw.2024.bin"), "bin");
    EXPECT_EQ(file_extension("/tmp/image.binary"), "binary");
    EXPECT_EQ(file_extension("firmware"), "");
    EXPECT_EQ(file_extension(".bin"), "");
    const std::vector<std::uint8_t> bytes{0xAB, 0x01, 0x00, 0xFF};
    EXPECT_EQ(hex_encode(bytes), "ab0100ff");
    EXPECT_EQ(hex_decode("AB0100ff"), bytes);
    for (std::string_view bad : {"abc"sv, "ag"sv, "a\n"sv, "ab\0c"sv})
        EXPECT_FALSE(hex_decode(bad)) << bad;
}

TEST_F(FirmwareFiles, SoundPackagesAreValidWithEitherCaseOfDigest)
{
    write_bytes(dir / "plain", image);
    std::vector<PackageEntry> entries = package_entries(image);
    write_package(dir / "fw.2024.bin", entries);
    for (std::uint8_t& c : entries[0].content)
        c = static_cast<std::uint8_t>(std::toupper(c));
    write_package(dir / "upper.bin", entries);
    for (const char* name : {"fw.2024.bin", "upper.bin"}) {
        const Outcome result = validate(dir / name);
        EXPECT_TRUE(result.code) << result.out;
        EXPECT_EQ(result.image.data, image);
        EXPECT_EQ(result.image.size, image.size());
        EXPECT_EQ(hex_encode(result.digest), sha256sum_of(dir / "plain"));
    }
}

TEST_F(FirmwareFiles, EveryPackageFaultGivesItsMessageAndCode)
{
    const std::vector<PackageEntry> good = package_entries(image);
    const std::string other = "not the package password";
    const struct Fault {
        std::vector<PackageEntry> entries;
        int code;
        std::string message;
    } faults[] = {
        {{good[1]}, -8, "(bh).\n"},
        {{{.name = "KELPU.bh", .content = good[0].content}, good[1]}, -8, "(bh).\n"},
        {{{.name = "kelpu.bh", .content = good[0].content, .encryption = ZIP_EM_NONE}, good[1]}, -15, "(ppfbh).\n"},
        {{{.name = "kelpu.bh", .content = good[0].content, .encryption = ZIP_EM_AES_128}, good[1]}, -15, "(ppfbh).\n"},
        {{{.name = "kelpu.bh", .content = good[0].content, .encryption = ZIP_EM_AES_192}, good[1]}, -15, "(ppfbh).\n"},
        {{{.name = "kelpu.bh", .content = good[0].content, .encryption = ZIP_EM_TRAD_PKWARE}, good[1]}, -15,
         "(ppfbh).\n"},
        {{{.name = "kelpu.bh", .content = good[0].content, .password = other}, good[1]}, -11, "(pbh).\n"},
        {{{.name = "kelpu.bh", .content = text_bytes(hex_encode(image).substr(0, 64) + "\n")}, good[1]}, -7,
         "File content length is invalid (bh).\n"},
        {{{.name = "kelpu.bh", .content = text_bytes(hex_encode(image).substr(0, 63))}, good[1]}, -7,
         "File content length is invalid (bh).\n"},
        {{good[0]}, -4, "(binary).\n"},
        {{good[0], {.name = "kelpu.binary", .content = image, .encryption = ZIP_EM_NONE}}, -15, "(ppfb).\n"},
        {{good[0], {.name = "kelpu.binary", .content = image, .encryption = ZIP_EM_AES_128}}, -15, "(ppfb).\n"},
        {{good[0], {.name = "kelpu.binary", .content = image, .password = other}}, -12, "(pbh).\n"},
    };
    for (const Fault& fault : faults) {
        write_package(dir / "fw.bin", fault.entries);
        const std::string message = fault.code == -7 ? fault.message : "File format is invalid " + fault.message;
        const Outcome load = load_package(dir / "fw.bin");
        EXPECT_EQ(load.code, fault.code) << message;
        EXPECT_EQ(load.out, preparing(dir / "fw.bin") + message);
        EXPECT_TRUE(validate(dir / "fw.bin").out.ends_with(message + not_valid)) << message;
    }
    write_bytes(dir / "empty.bin", {});
    write_bytes(dir / "text.bin", text_bytes("no ZIP archive"));
    for (const char* name : {"empty.bin", "text.bin", "missing.bin"})
        EXPECT_EQ(load_package(dir / name).out, preparing(dir / name) + "File format is invalid (open).\n");
    EXPECT_EQ(load_package(dir / "text.bin").code, -9);
    EXPECT_EQ(load_package(dir / "text.bin", nullptr).out, preparing(dir / "text.bin") + "Parameters error.\n");
}

TEST_F(FirmwareFiles, RefusedFilesEndWithTheVerdictOnly)
{
    std::vector<PackageEntry> entries = package_entries(image);
    entries[0].content[10] = 'g'; // not hexadecimal: no digest, so no mismatch either
    write_package(dir / "nohex.bin", entries);
    write_package(dir / "fw.BIN", package_entries(image));
    const std::filesystem::path missing = dir / "missing.binary";
    EXPECT_EQ(validate(dir / "nohex.bin").out, "\n" + preparing(dir / "nohex.bin") + not_valid);
    EXPECT_EQ(validate(dir / "fw.BIN").out, "\nFile format not supported.\n" + not_valid);
    EXPECT_EQ(validate(missing).out, "\n" + preparing(missing) + not_valid);
}

TEST_F(FirmwareFiles, ImageEntryInflatingPastTheLimitIsNotReadWhole)
{
    // 24 MiB of zeros deflate to a small package.
    std::vector<PackageEntry> entries = package_entries(std::vector<std::uint8_t>(24 << 20));
    write_package(dir / "inflating.bin", entries);
    const Outcome result = validate(dir / "inflating.bin");
    EXPECT_FALSE(result.code);
    EXPECT_TRUE(result.out.ends_with(not_valid));
    EXPECT_GT(result.image.data.size(), firmware_image_max_size);
    EXPECT_LT(result.image.data.size(), firmware_image_max_size + 8192);
}

TEST_F(FirmwareFiles, RawImageSizeAndModelLimits)
{
    const struct {
        std::size_t size;
        std::string_view model;
        bool valid;
    } cases[] = {{1'835'191, "ZANTOR-1", false}, {1'835'192, "ZANTOR-1", true}, {16'777'214, "ZANTOR-4", true},
                 {16'777'215, "ZANTOR-4", false}, {1'835'192, "ZANTOR-5", false}, {1'835'192, "zantor-1", false},
                 {1'835'192, "ZANTOR-10", false}, {1'835'192, std::string_view("ZANTOR-3\0tail", 13), true}};
    for (const auto& c : cases) {
        write_bytes(dir / "fw.binary", make_firmware_image(c.size, c.model));
        const Outcome result = validate(dir / "fw.binary");
        EXPECT_EQ(result.code, c.valid) << c.size << " " << c.model;
        // A file larger than any image is refused before it is read.
        EXPECT_EQ(result.image.size, c.size <= firmware_image_max_size ? c.size : 0);
        EXPECT_EQ(result.out.ends_with(not_valid), !c.valid);
        if (c.valid) {
            EXPECT_EQ(hex_encode(result.digest), sha256sum_of(dir / "fw.binary"));
        }
    }
}

TEST_F(FirmwareFiles, ValidImageLogsItsInformationRecord)
{
    std::vector<std::uint8_t> bytes = make_firmware_image(firmware_image_min_size, "ZANTOR-4");
    // A description that fills its field without a NUL ends at the field's end.
    std::fill_n(bytes.begin() + firmware_info_offset + 45, 33, 'D');
    CaptureStdout();
    EXPECT_EQ(firmware_check_info(bytes), 0);
    EXPECT_EQ(GetCapturedStdout(), "== Firmware Info ==\r\nmodel_name=ZANTOR-4\r\nmodel_description=" +
                                       std::string(33, 'D') +
                                       "\r\nversion_string=4.2.17\r\nversion_number=262673\r\n"
                                       "version_date=Mar 14 2024\r\nversion_time=09:26:53\r\n"
                                       "dali_number_of_channel=4\r\n== ==\r\n");
    EXPECT_EQ(firmware_check_info({}), 1);

    // Text from the package cannot steer the terminal or the window.
    const std::string_view hostile = "\x1b]0;owned\x07\x1b[2J\r";
    std::copy(hostile.begin(), hostile.end(), bytes.begin() + firmware_info_offset + 78);
    CaptureStdout();
    EXPECT_EQ(firmware_check_info(bytes), 0);
    EXPECT_NE(GetCapturedStdout().find("\r\nversion_string=\\x1b]0;owned\\x07\\x1b[2J\\r\r\n"), std::string::npos);
}

TEST_F(FirmwareFiles, EntriesAreReadToTheirEndSoTheirCodesAndSizesCount)
{
    write_package(dir / "good.bin", package_entries(image));
    const std::vector<std::uint8_t> good = read_bytes(dir / "good.bin");
    struct Damage {
        const char* entry;
        std::function<void(std::vector<std::uint8_t>&, const EntryPlace&)> apply;
        std::string message;
    } damages[] = {
        // The last byte of each entry's data is part of its authentication code.
        {"kelpu.binary", [](auto& zip, const EntryPlace& e) { zip[e.data_end - 1] ^= 0x01; },
         "File content is invalid (binary): "},
        {"kelpu.bh", [](auto& zip, const EntryPlace& e) { zip[e.data_end - 1] ^= 0x80; },
         "File content is invalid (bh): "},
        // A stated size below the data, in the directory and the local header.
        {"kelpu.binary",
         [&](auto& zip, const EntryPlace& e) {
             write_le32(zip, e.central + 24, static_cast<std::uint32_t>(image.size() - 1000));
             write_le32(zip, e.local + 22, static_cast<std::uint32_t>(image.size() - 1000));
         },
         "File content is invalid (binary): "},
        {"kelpu.bh",
         [](auto& zip, const EntryPlace& e) {
             write_le32(zip, e.central + 24, 63);
             write_le32(zip, e.local + 22, 63);
         },
         "File content is invalid (bh): "},
    };
    for (const Damage& damage : damages) {
        std::vector<std::uint8_t> zip = good;
        damage.apply(zip, find_entry(zip, damage.entry));
        write_bytes(dir / "damaged.bin", zip);
        const Outcome load = load_package(dir / "damaged.bin");
        EXPECT_EQ(load.code, firmware_content_invalid) << damage.entry << load.out;
        EXPECT_NE(load.out.find(damage.message), std::string::npos) << load.out;
        EXPECT_TRUE(validate(dir / "damaged.bin").out.ends_with(not_valid));
    }
    EXPECT_EQ(load_package(dir / "good.bin").code, 0);
}

TEST_F(FirmwareFiles, OnlyRegularFilesWithinTheLimitsAreRead)
{
    const auto started = std::chrono::steady_clock::now();
    std::filesystem::create_symlink("/dev/zero", dir / "zero.bin");
    std::filesystem::create_symlink("/dev/zero", dir / "zero.binary");
    ASSERT_EQ(mkfifo((dir / "pipe.binary").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder.bin");
    for (const char* name : {"zero.bin", "zero.binary", "pipe.binary", "folder.bin"}) {
        const Outcome result = validate(dir / name);
        EXPECT_FALSE(result.code) << name;
        EXPECT_NE(result.out.find("Firmware file " + (dir / name).string() + " is not a regular file.\r\n"),
                  std::string::npos)
            << result.out;
        EXPECT_TRUE(result.image.data.empty()) << name;
    }
    // Refused before reading: no time spent on an endless device.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    // A file larger than any package (sparse: it costs no disk).
    {
        std::ofstream big(dir / "big.bin", std::ios::binary);
        big.seekp(static_cast<std::streamoff>(firmware_package_max_size));
        big.put('\0');
    }
    const Outcome big = load_package(dir / "big.bin");
    EXPECT_EQ(big.code, firmware_input_refused);
    EXPECT_NE(big.out.find("is larger than any firmware file can be"), std::string::npos) << big.out;
}

} // namespace
