// A table of pictures through the conversion run: time and peak memory of a
// direct-mode run with "Transfer Binary" on and off, and the peak memory of a
// per-file preview run, whose list holds every statement with its picture.
//
// The table (Id, Name, a Graphic field) is written by the Paradox writer; the
// run reads it through the real Paradox source connection and, in direct mode,
// writes through the real ODBC path into an SQLite file standing in for SQL
// Server (in SQLite's spelling of VARBINARY(MAX) and 0x constants). Each
// measurement is its own process, so that its peak memory is its own.
//
//   bench_pictures --write-table FOLDER N KIB              N records, a KIB KiB picture each
//   bench_pictures --run FOLDER --mode direct|preview [--binary]
#include "bench/support/bench_support.h"

#include <cstring>
#include <iostream>

namespace {

using namespace benchsupport;

constexpr const char* kPictures = "PICTURES";

void WritePictureTable(const fs::path& folder, int records, int kib)
{
    using paradox::FieldType;
    using paradox::Value;
    paradox::writer::TableDesign design;
    design.tableName = std::string(kPictures) + ".db";
    design.fields = {{"Id", FieldType::Long}, {"Name", FieldType::Alpha, 24}, {"Photo", FieldType::Graphic, 10}};
    paradox::writer::TableWriter w(design);
    std::string picture(static_cast<std::size_t>(kib) * 1024, '\0');
    std::uint64_t x = 88172645463325252ULL;
    for (int r = 0; r < records; ++r) {
        for (char& c : picture) {  // bytes that no compression would shrink
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            c = static_cast<char>(x);
        }
        w.addRecord({Value::ofInteger(r + 1), Value::ofText("Photo " + std::to_string(r + 1)), Value::ofBytes(picture)});
    }
    fs::create_directories(folder);
    w.writeFiles(folder / design.tableName, folder / (std::string(kPictures) + ".mb"));
}

// The bytes of all pictures that arrived, -1 when they cannot be read.
long long PictureBytes(const fs::path& database)
{
    sqlite3* db = nullptr;
    long long bytes = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT TOTAL(LENGTH(Photo)) FROM PICTURES", -1, &s, nullptr) == SQLITE_OK
            && sqlite3_step(s) == SQLITE_ROW)
            bytes = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return bytes;
}

// One run as the headless command drives it; direct mode into the SQLite stand-in.
int RunOnce(const fs::path& folder, bool preview, bool binary)
{
    PrivateOdbc odbc;
    ScratchFolder target("dovenmark-bench-pictures");
    const fs::path database = target.path() / "pictures.sqlite";
    HeadlessRun h(folder, database, preview);
    h.run.options.transferBinary = binary;

    const long long before = StatusBytes("VmRSS");
    const auto start = Clock::now();
    conversion::StartConverting(h.run);
    const double seconds = SecondsSince(start);
    const long long peak = StatusBytes("VmHWM");

    const std::string what = std::string(preview ? "preview (per file)" : "direct") + ", Transfer Binary "
        + (binary ? "on" : "off");
    if (h.dialogs.others() > 0) {
        std::cerr << what << ": " << h.dialogs.others() << " reports, the first: " << h.dialogs.firstOther() << "\n";
        return 1;
    }
    long long lineBytes = 0;
    auto& list = h.handOff.preview.list();
    for (int r = 1; r <= list.count(); ++r)
        lineBytes += static_cast<long long>(list.text(r).size());
    if (!preview) {
        const long long rows = RowCount(database, kPictures);
        std::printf("%s: %lld rows arrived, %.1f MiB of pictures\n", what.c_str(), rows,
                    MiB(PictureBytes(database)));
    } else {
        std::printf("%s: %d lines holding %.1f MiB\n", what.c_str(), list.count(), MiB(lineBytes));
    }
    std::printf("%s: %.2f s, peak RSS %.1f MiB (%.1f MiB before the run)\n", what.c_str(), seconds, MiB(peak),
                MiB(before));
    Figure("pictures, " + what + ", time", Fixed(seconds, 2) + " s", "", "");
    Figure("pictures, " + what + ", peak RSS", Fixed(MiB(peak), 1) + " MiB",
           preview ? "holds the lines" : "about one statement", "");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto usage = [] {
        std::cerr << "usage: bench_pictures --write-table FOLDER N KIB\n"
                     "       bench_pictures --run FOLDER --mode direct|preview [--binary]\n";
        return 2;
    };
    if (argc == 5 && std::strcmp(argv[1], "--write-table") == 0) {
        WritePictureTable(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        return 0;
    }
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--run") == 0 && std::strcmp(argv[3], "--mode") == 0) {
        const std::string mode = argv[4];
        const bool binary = argc == 6 && std::strcmp(argv[5], "--binary") == 0;
        if ((mode != "direct" && mode != "preview") || (argc == 6 && !binary))
            return usage();
        return RunOnce(argv[2], mode == "preview", binary);
    }
    return usage();
}
