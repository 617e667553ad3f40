#include "restore/config_files.h"

#include "channel/crc16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Where each format keeps things, from the controller's description.
struct Layout {
    std::size_t size, record, device_type, name, groups, trailer;
};
constexpr Layout old_layout{11168, 152, 42, 94, 9788, 11164};
constexpr Layout v2_layout{10912, 160, 44, 106, 10300, 10908};
constexpr Layout v3_layout{7072, 100, 43, 45, 6460, 7068};

const Layout& layout_of(unsigned format)
{
    return format <= 1 ? old_layout : format == 2 ? v2_layout : v3_layout;
}

void put_u32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void fill(Bytes& b, std::size_t at, std::size_t n, std::uint8_t first)
{
    for (std::size_t k = 0; k < n; ++k)
        b[at + k] = static_cast<std::uint8_t>(first + k);
}

void put_text(Bytes& b, std::size_t at, const std::string& text)
{
    std::memcpy(b.data() + at, text.data(), text.size());
}

void seal(Bytes& b, std::uint32_t version, std::uint32_t revision)
{
    put_u32(b, 0, static_cast<std::uint32_t>(b.size()));
    put_u32(b, 4, 0);
    put_u32(b, 8, version);
    put_u32(b, 12, revision);
    put_u32(b, 4, crc16(b));
}

// The zone of a format-2 record that holds the data of device type t.
struct TypeZone {
    std::uint8_t type;
    std::size_t at, size;
};
constexpr TypeZone v2_zones[] = {{5, 46, 3}, {6, 49, 7}, {8, 56, 50}};

void expect_header_step(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target,
                        unsigned to, std::size_t size)
{
    ASSERT_EQ(target.size(), size);
    EXPECT_EQ(u32_at(target, 0), size);
    EXPECT_EQ(u32_at(target, 8), to);
    EXPECT_EQ(u32_at(target, 12), u32_at(source, 12) + 1);
    EXPECT_EQ(u32_at(target, 16), u32_at(source, 16));
    Bytes cleared(target.begin(), target.end());
    put_u32(cleared, 4, 0);
    EXPECT_EQ(u32_at(target, 4), crc16(cleared));
}

} // namespace

std::uint32_t u32_at(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

Bytes slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t n)
{
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + n);
}

Bytes make_channel_file(unsigned format)
{
    const Layout& l = layout_of(format);
    Bytes b(l.size, 0);
    put_u32(b, 16, 0xA1B2C3D4);
    fill(b, 20, 40, 0x20); // controller data; byte 59 is not carried over
    for (std::size_t i = 0; i < 64; ++i) {
        const std::size_t r = 60 + i * l.record;
        const std::uint8_t type = fixture_device_types[i % std::size(fixture_device_types)];
        put_u32(b, r, 0x1 | std::uint32_t(i) << 8);
        fill(b, r + 4, 38, static_cast<std::uint8_t>(i * 7)); // levels, address, groups, scenes, marker...
        b[r + l.device_type] = type;
        if (format <= 1) {
            b[r + 43] = 0xDD;
            fill(b, r + 44, 50, static_cast<std::uint8_t>(0x80 + i)); // type-specific data
            fill(b, r + 132, 4, 0xDD);
        } else {
            b[r + 43] = 0xDD;
            b[r + 45] = static_cast<std::uint8_t>(0x40 + i); // device type companion
            for (const TypeZone& zone : v2_zones)
                fill(b, r + zone.at, zone.size, static_cast<std::uint8_t>(0x80 + i));
        }
        put_text(b, r + l.name, "Lamp " + std::to_string(i + 1));
        fill(b, r + l.name + 33, 5, static_cast<std::uint8_t>(0x60 + i)); // the 5 bytes behind the name
        fill(b, r + l.record - 16, 16, static_cast<std::uint8_t>(0xA0 + i));
    }
    for (std::size_t g = 0; g < 16; ++g) {
        const std::size_t at = l.groups + 38 * g;
        put_text(b, at, "Group " + std::to_string(g));
        fill(b, at + 33, 5, static_cast<std::uint8_t>(0x30 + g));
    }
    if (format <= 1)
        std::fill(b.begin() + 10396, b.begin() + 11164, 0xDD); // address table
    put_text(b, l.trailer, "TRL" + std::to_string(format));
    seal(b, format, 41);
    return b;
}

Bytes make_inputs_file_v2()
{
    Bytes b(9436, 0);
    put_u32(b, 16, 0x0BADCAFE);
    fill(b, 20, 8, 0x11);
    const std::uint8_t kinds[] = {1, 3, 4};
    for (std::size_t j = 0; j < 32; ++j) {
        const std::size_t r = 28 + 100 * j;
        fill(b, r, 16, static_cast<std::uint8_t>(j * 5));
        for (std::size_t k = 0; k < 32; ++k) {
            std::uint8_t type = 0;
            if (j < 3 && k < 4)
                type = kinds[j];
            else if (j == 3 && k < 4)
                type = std::uint8_t(k == 3 ? 2 : kinds[k]);
            b[r + 16 + 2 * k] = type;
            b[r + 17 + 2 * k] = static_cast<std::uint8_t>(k);
        }
        put_text(b, r + 80, "Input " + std::to_string(j + 1));
        fill(b, r + 97, 3, 0xDD);
        const std::size_t table = 3228 + 194 * j;
        fill(b, table, 192, static_cast<std::uint8_t>(j * 3 + 1));
        b[table + 192] = static_cast<std::uint8_t>(0x90 + j); // device parameter
        b[table + 193] = 0xDD;
    }
    seal(b, 2, 5);
    return b;
}

void expect_channel_converted(std::span<const std::uint8_t> source, unsigned from,
                              std::span<const std::uint8_t> target, unsigned to)
{
    const Layout& in = layout_of(from);
    const Layout& out = layout_of(to);
    expect_header_step(source, target, to, out.size);
    if (target.size() != out.size)
        return;
    EXPECT_EQ(slice(target, 20, 39), slice(source, 20, 39));
    EXPECT_EQ(target[59], 0);
    for (std::size_t i = 0; i < 64; ++i) {
        SCOPED_TRACE("device " + std::to_string(i));
        const std::size_t s = 60 + i * in.record;
        const std::size_t t = 60 + i * out.record;
        EXPECT_EQ(slice(target, t, 43), slice(source, s, 43));
        const std::uint8_t type = source[s + in.device_type];
        const bool carried = type == 5 || type == 6 || type == 8;
        if (from <= 1) {
            EXPECT_EQ(target[t + out.device_type], carried ? type : 255);
            EXPECT_EQ(target[t + out.device_type + 1], 255);
        } else {
            EXPECT_EQ(slice(target, t + out.device_type, 2), slice(source, s + in.device_type, 2));
        }
        if (to == 2) {
            EXPECT_EQ(target[t + 43], 0);
            for (const TypeZone& zone : v2_zones)
                EXPECT_EQ(slice(target, t + zone.at, zone.size),
                          type == zone.type ? slice(source, s + 44, zone.size) : Bytes(zone.size, 0))
                    << "type " << int(type) << " zone " << int(zone.type);
            EXPECT_EQ(slice(target, t + 106, 38), slice(source, s + in.name, 38));
        } else {
            EXPECT_EQ(slice(target, t + 45, 34), slice(source, s + in.name, 34));
            EXPECT_EQ(target[t + 79], 0);
            EXPECT_EQ(slice(target, t + 80, 4), slice(source, s + in.name + 34, 4));
        }
        EXPECT_EQ(slice(target, t + out.record - 16, 16), slice(source, s + in.record - 16, 16));
    }
    EXPECT_EQ(slice(target, out.groups, 16 * 38), slice(source, in.groups, 16 * 38));
    EXPECT_EQ(slice(target, out.trailer, 4), slice(source, in.trailer, 4));
}

void expect_inputs_converted(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target)
{
    expect_header_step(source, target, 3, 9564);
    if (target.size() != 9564)
        return;
    EXPECT_EQ(slice(target, 20, 8), slice(source, 20, 8));
    for (std::size_t j = 0; j < 32; ++j) {
        SCOPED_TRACE("input device " + std::to_string(j));
        const std::size_t r = 28 + 100 * j;
        EXPECT_EQ(slice(target, r, 97), slice(source, r, 97));
        EXPECT_EQ(slice(target, r + 97, 3), Bytes(3, 0));
        const std::size_t from = 3228 + 194 * j;
        const std::size_t to = 3228 + 198 * j;
        bool push_button = false;
        for (std::size_t k = 0; k < 32; ++k) {
            const std::uint8_t type = source[r + 16 + 2 * k];
            const std::size_t width = type == 1 ? 6 : type == 3 ? 4 : type == 4 ? 3 : 0;
            push_button = push_button || type == 1;
            Bytes expected(6, 0);
            std::copy_n(source.begin() + from + width * k, width, expected.begin());
            EXPECT_EQ(slice(target, to + 6 + 6 * k, 6), expected) << "instance " << k;
        }
        EXPECT_EQ(target[to], 0);
        EXPECT_EQ(target[to + 1], push_button ? source[from + 192] : 0);
        EXPECT_EQ(slice(target, to + 2, 4), Bytes(4, 0));
    }
}
