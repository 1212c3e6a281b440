// Makes the sample Paradox tables shipped beside the program: a small trading
// company's customers, parts, orders and order items, keyed as Paradox keys
// them, and a photo of every part (a picture drawn here). The values come from
// a fixed seed, so every build makes the same files.
#include "paradox/writer/table_writer.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

using paradox::FieldType;
using paradox::Value;
using paradox::writer::TableWriter;

namespace {

constexpr std::array kCompanies{
    "Harbour Lights Chandlery", "Blue Reef Divers",    "Kestrel Outfitters",   "Northwind Marine",
    "Coral Coast Supplies",     "Saltmarsh Trading",   "Anchor & Line Ltd.",   "Tidewater Tackle",
    "Deep Blue Expeditions",    "Seabright Sports",    "Lighthouse Rentals",   "Driftwood Dive Shop",
    "Pelican Point Marina",     "Windward Boats",      "Gull Rock Provisions", "Mariner's Rest",
    "Brackwater Supply Co.",    "Silver Tide Imports", "Reefside Adventures",  "Cape Hollow Traders"};
constexpr std::array kContacts{"Ana García", "Tom O'Neill", "Ingrid Sørensen", "Paul Martin",
                               "Mei Lin",    "José Álvarez", "Claire Dubois",  "Erik Lund",
                               "Sarah Kim",  "Jürgen Weiß"};
constexpr std::array kCities{"Kapaa",  "Bergen", "Lisbon", "Bristol", "Marseille",
                             "Hobart", "Cádiz",  "Kiel",   "Halifax", "Galway"};
constexpr std::array kCountries{"US",     "Norway", "Portugal", "UK",      "France",
                                "Australia", "Spain", "Germany", "Canada", "Ireland"};
constexpr std::array kParts{"Dive mask, low volume", "Fins, adjustable",  "Snorkel, dry top",
                            "Wetsuit 3 mm",          "Regulator set",     "BCD jacket",
                            "Dive computer",         "Underwater torch",  "Weight belt",
                            "Compass, wrist",        "Dive knife",        "Gloves 2 mm",
                            "Boots 5 mm",            "Hood 3 mm",         "Tank 12 l",
                            "Surface marker buoy",   "Reel, 30 m",        "Logbook",
                            "Defog gel",             "Mesh bag"};
constexpr std::array kShipVia{"UPS", "DHL", "FedEx", "Post", "Pickup"};
constexpr std::array kNotes{
    "Prefers delivery before noon.",
    "Pays by bank transfer; send the invoice to the accounts office, not to the shop.",
    "Long-standing customer.\r\nAsk for Mr. O'Neill when calling.",
    "Seasonal business: orders peak between May and September.",
    "",
};

class Samples {
public:
    explicit Samples(std::filesystem::path folder) : folder_(std::move(folder)) {}

    void write()
    {
        std::filesystem::create_directories(folder_);
        customers();
        parts();
        orders();
        items();
        photos();
    }

private:
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& values)
    {
        return values[std::uniform_int_distribution<std::size_t>(0, N - 1)(random_)];
    }
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    double money(double low, double high)
    {
        return std::round(std::uniform_real_distribution<double>(low, high)(random_) * 100) / 100;
    }
    // A table keyed on its first `keys` fields (0: not keyed); the records are added in key order.
    static paradox::writer::TableDesign Design(const char* name, std::vector<paradox::writer::FieldDesign> fields,
                                               int keys = 1)
    {
        paradox::writer::TableDesign design;
        design.versionId = 12;
        design.keyed = keys > 0;
        design.keyFields = static_cast<std::uint16_t>(keys);
        design.codePage = 1252;
        design.tableName = name;
        design.fields = std::move(fields);
        return design;
    }
    void save(const TableWriter& writer, const char* base)
    {
        writer.writeFiles(folder_ / (std::string(base) + ".DB"), folder_ / (std::string(base) + ".MB"));
    }

    void customers()
    {
        TableWriter t(Design("CUSTOMER.DB",
                             {{"CustNo", FieldType::Autoincrement}, {"Company", FieldType::Alpha, 30},
                              {"Contact", FieldType::Alpha, 25},    {"City", FieldType::Alpha, 20},
                              {"Country", FieldType::Alpha, 20},    {"Phone", FieldType::Alpha, 15},
                              {"CreditLimit", FieldType::Currency}, {"Active", FieldType::Logical},
                              {"CustomerSince", FieldType::Date},   {"Notes", FieldType::Memo, 30}}));
        for (int i = 0; i < kCustomers; ++i) {
            const std::size_t place = static_cast<std::size_t>(between(0, 9));
            const std::string phone = "+" + std::to_string(between(1, 99)) + " " + std::to_string(between(100, 999))
                + " " + std::to_string(between(1000, 9999));
            const std::string notes = pick(kNotes);
            t.addRecord({Value::ofInteger(1001 + i),
                         Value::ofText(kCompanies[static_cast<std::size_t>(i) % kCompanies.size()]),
                         Value::ofText(pick(kContacts)), Value::ofText(kCities[place]),
                         Value::ofText(kCountries[place]), Value::ofText(phone),
                         Value::ofCurrency(between(5, 200) * 250.0), Value::ofBoolean(between(0, 4) != 0),
                         Value::ofDate({between(1988, 1999), between(1, 12), between(1, 28)}),
                         notes.empty() ? Value::null() : Value::ofText(notes)});
        }
        save(t, "CUSTOMER");
    }

    void parts()
    {
        TableWriter t(Design("PARTS.DB", {{"PartNo", FieldType::Long},      {"Description", FieldType::Alpha, 30},
                                         {"OnHand", FieldType::Short},     {"Cost", FieldType::Currency},
                                         {"ListPrice", FieldType::Currency}, {"WeightKg", FieldType::Number}}));
        for (std::size_t i = 0; i < kParts.size(); ++i) {
            const double cost = money(3, 400);
            t.addRecord({Value::ofInteger(static_cast<std::int64_t>(5000 + i * 10)), Value::ofText(kParts[i]),
                         Value::ofInteger(between(0, 250)), Value::ofCurrency(cost),
                         Value::ofCurrency(std::round(cost * 1.6 * 100) / 100),
                         Value::ofDouble(between(5, 4000) / 100.0)});
        }
        save(t, "PARTS");
    }

    void orders()
    {
        TableWriter t(Design("ORDERS.DB", {{"OrderNo", FieldType::Long},       {"CustNo", FieldType::Long},
                                          {"SaleDate", FieldType::Date},      {"ShipTime", FieldType::Time},
                                          {"Entered", FieldType::Timestamp},  {"ShipVia", FieldType::Alpha, 10},
                                          {"AmountPaid", FieldType::Currency}, {"Paid", FieldType::Logical}}));
        for (int i = 0; i < kOrders; ++i) {
            const paradox::CivilDate sale{between(2001, 2004), between(1, 12), between(1, 28)};
            const std::int64_t shipMs = (between(8, 17) * 3600 + between(0, 3) * 15 * 60) * 1000LL;
            const std::int64_t enteredMs = (between(7, 19) * 3600 + between(0, 59) * 60 + between(0, 59)) * 1000LL;
            const bool paid = between(0, 5) != 0;
            t.addRecord({Value::ofInteger(1001 + i), Value::ofInteger(1001 + between(0, kCustomers - 1)),
                         Value::ofDate(sale), i % 9 == 4 ? Value::null() : Value::ofTime(shipMs),
                         Value::ofTimestamp(sale, enteredMs), Value::ofText(pick(kShipVia)),
                         paid ? Value::ofCurrency(money(20, 2500)) : Value::ofCurrency(0),
                         Value::ofBoolean(paid)});
        }
        save(t, "ORDERS");
    }

    void items()
    {
        TableWriter t(Design("ITEMS.DB", {{"OrderNo", FieldType::Long}, {"ItemNo", FieldType::Short},
                                         {"PartNo", FieldType::Long},  {"Qty", FieldType::Short},
                                         {"Discount", FieldType::Number}},
                             2));
        int written = 0;
        for (int order = 0; order < kOrders && written < kItems; ++order) {
            const int lines = between(1, 3);
            for (int line = 1; line <= lines && written < kItems; ++line, ++written) {
                t.addRecord({Value::ofInteger(1001 + order), Value::ofInteger(line),
                             Value::ofInteger(5000 + between(0, static_cast<int>(kParts.size()) - 1) * 10),
                             Value::ofInteger(between(1, 12)),
                             between(0, 3) == 0 ? Value::ofDouble(between(5, 20) / 100.0) : Value::ofDouble(0)});
            }
        }
        save(t, "ITEMS");
    }

    // A part's photo: a 24-bit BMP of a tile in the part's own colour with a
    // round mark, so that each picture differs from the others.
    static std::string Photo(std::size_t part)
    {
        constexpr int kWidth = 96;
        constexpr int kHeight = 64;
        constexpr int kRow = kWidth * 3;  // a multiple of four, as BMP rows must be
        const int red = static_cast<int>(60 + part * 37 % 190);
        const int green = static_cast<int>(80 + part * 71 % 170);
        const int blue = static_cast<int>(100 + part * 53 % 150);
        std::string bmp;
        auto put = [&bmp](std::uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                bmp.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
        };
        const std::uint32_t pixels = kRow * kHeight;
        bmp += "BM";
        // The file header (size, reserved, offset of the pixels), then the
        // info header (its size, width, height, planes, bits per pixel, no
        // compression, pixel bytes, 72 dpi both ways, no palette): each value
        // and its bytes.
        const std::pair<std::uint32_t, int> header[] = {
            {54 + pixels, 4}, {0, 4}, {54, 4},     {40, 4},     {kWidth, 4}, {kHeight, 4}, {1, 2},
            {24, 2},          {0, 4}, {pixels, 4}, {2835, 4}, {2835, 4},   {0, 4},       {0, 4}};
        for (const auto& [value, bytes] : header)
            put(value, bytes);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const int dx = x - kWidth / 2;
                const int dy = y - kHeight / 2;
                const bool mark = dx * dx + dy * dy < 18 * 18;
                const int shade = y * 40 / kHeight;
                bmp.push_back(static_cast<char>(mark ? 255 - blue / 2 : blue - shade));
                bmp.push_back(static_cast<char>(mark ? 255 - green / 2 : green - shade));
                bmp.push_back(static_cast<char>(mark ? 255 - red / 2 : red - shade));
            }
        }
        return bmp;
    }

    void photos()
    {
        TableWriter t(Design("PHOTOS.DB", {{"PartNo", FieldType::Long}, {"Caption", FieldType::Alpha, 40},
                                          {"Photo", FieldType::Graphic, 10}}));
        for (std::size_t i = 0; i < kParts.size(); ++i) {
            const std::string photo = Photo(i);
            t.addRecord({Value::ofInteger(static_cast<std::int64_t>(5000 + i * 10)),
                         Value::ofText(std::string(kParts[i]) + ", as delivered"), Value::ofBytes(photo)});
        }
        save(t, "PHOTOS");
    }

    static constexpr int kCustomers = 40;
    static constexpr int kOrders = 150;
    static constexpr int kItems = 250;

    std::filesystem::path folder_;
    std::mt19937 random_{19890412};
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make-samples FOLDER\n");
        return 2;
    }
    try {
        Samples(argv[1]).write();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
