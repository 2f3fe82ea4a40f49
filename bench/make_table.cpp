// Writes a dBASE IV table of customer-like records (with memo file and umlauts)
// for benchmarks and as the bundled sample table.
//   make_table OUTPUT.dbf RECORDS
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Column {
    const char *name;
    char type;
    int length;
    int decimals;
};

const std::vector<Column> columns = {
    {"KUNDENNR", 'N', 8, 0},  {"NAME", 'C', 30, 0},     {"VORNAME", 'C', 20, 0},
    {"STRASSE", 'C', 30, 0},  {"PLZ", 'C', 5, 0},       {"ORT", 'C', 25, 0},
    {"LAND", 'C', 20, 0},     {"TELEFON", 'C', 20, 0},  {"EMAIL", 'C', 40, 0},
    {"GEBURT", 'D', 8, 0},    {"KUNDESEIT", 'D', 8, 0}, {"UMSATZ", 'N', 12, 2},
    {"RABATT", 'N', 5, 2},    {"AKTIV", 'L', 1, 0},     {"KATEGORIE", 'C', 1, 0},
    {"BONUS", 'N', 6, 0},     {"GEWICHT", 'F', 10, 3},  {"NOTIZ", 'M', 10, 0},
    {"KREDIT", 'N', 10, 2},   {"GEAENDERT", 'D', 8, 0},
};

// Names and places in Windows-1252, so umlauts and ß are single bytes.
const char *const surnames[] = {"M\xFCller", "Schmidt", "Schneider", "Fischer", "Wei\xDF", "Meyer",
                                "Wagner", "Becker", "Sch\xE4" "fer", "Koch", "B\xF6hm", "Kr\xFCger",
                                "Hoffmann", "Schr\xF6" "der", "Neumann", "Schwarz", "Zimmermann", "Braun"};
const char *const firstnames[] = {"J\xFCrgen", "Anna", "Bj\xF6rn", "Gr\xE4" "fin Else", "Uwe", "Sabine",
                                  "Matthias", "J\xF6rg", "Claudia", "Hans-Peter", "Ren\xE9", "Sieglinde"};
const char *const streets[] = {"Hauptstra\xDF" "e", "Am M\xFChlbach", "Gartenweg", "K\xF6nigsallee",
                               "Schlo\xDF" "platz", "Lindenstra\xDF" "e", "Bahnhofstra\xDF" "e"};
const char *const towns[] = {"M\xFCnchen", "K\xF6ln", "N\xFCrnberg", "D\xFCsseldorf", "G\xF6ttingen",
                             "Hamburg", "Berlin", "Osnabr\xFC" "ck", "L\xFC" "beck", "W\xFCrzburg"};
const char *const countries[] = {"Deutschland", "\xD6sterreich", "Schweiz"};

uint64_t state = 0x2545F4914F6CDD1DULL;
uint64_t next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}
template <size_t N> const char *pick(const char *const (&list)[N]) { return list[next() % N]; }

void put(std::string &rec, size_t offset, const std::string &text, int length, bool right)
{
    std::string cell(size_t(length), ' ');
    const size_t n = std::min(text.size(), size_t(length));
    if (right)
        memcpy(&cell[size_t(length) - n], text.data(), n);
    else
        memcpy(&cell[0], text.data(), n);
    memcpy(&rec[offset], cell.data(), size_t(length));
}

std::string date(int year, int month, int day)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
    return buf;
}

void le16(unsigned char *p, unsigned v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; }
void le32(unsigned char *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF; }

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "Aufruf: make_table AUSGABE.dbf SAETZE\n");
        return 2;
    }
    const std::string path = argv[1];
    const long records = atol(argv[2]);
    std::string memoPath = path;
    memoPath.replace(memoPath.size() - 3, 3, path.compare(path.size() - 3, 3, "DBF") == 0 ? "DBT" : "dbt");

    FILE *dbf = fopen(path.c_str(), "wb");
    FILE *dbt = fopen(memoPath.c_str(), "wb");
    if (!dbf || !dbt) {
        perror("make_table");
        return 1;
    }
    const unsigned headerLength = unsigned(32 + 32 * columns.size() + 1);
    unsigned recordLength = 1;
    for (const Column &c : columns)
        recordLength += unsigned(c.length);

    unsigned char header[32] = {};
    header[0] = 0x8B;  // dBASE IV with memo
    header[1] = 126; header[2] = 12; header[3] = 8;
    le32(header + 4, uint32_t(records));
    le16(header + 8, headerLength);
    le16(header + 10, recordLength);
    header[29] = 0x57; // Windows ANSI (1252)
    fwrite(header, 1, 32, dbf);
    for (const Column &c : columns) {
        unsigned char field[32] = {};
        memcpy(field, c.name, strlen(c.name));
        field[11] = uint8_t(c.type);
        field[16] = uint8_t(c.length);
        field[17] = uint8_t(c.decimals);
        fwrite(field, 1, 32, dbf);
    }
    fputc(0x0D, dbf);

    // Memo file: dBASE IV layout, 512-byte blocks, block 0 is the header.
    const unsigned blockSize = 512;
    uint32_t nextBlock = 1;
    std::vector<unsigned char> block(blockSize, 0);
    fwrite(block.data(), 1, blockSize, dbt);

    std::string rec(recordLength, ' ');
    for (long r = 0; r < records; ++r) {
        size_t at = 1;
        rec[0] = ' ';
        std::vector<std::string> values;
        char buf[64];
        snprintf(buf, sizeof buf, "%ld", r + 1);
        values.push_back(buf);
        values.push_back(pick(surnames));
        values.push_back(pick(firstnames));
        snprintf(buf, sizeof buf, "%s %d", pick(streets), int(next() % 200 + 1));
        values.push_back(buf);
        snprintf(buf, sizeof buf, "%05d", int(next() % 99999));
        values.push_back(buf);
        values.push_back(pick(towns));
        values.push_back(pick(countries));
        snprintf(buf, sizeof buf, "0%d/%d", int(next() % 900 + 100), int(next() % 9000000 + 1000000));
        values.push_back(buf);
        snprintf(buf, sizeof buf, "kunde%ld@beispiel.de", r + 1);
        values.push_back(buf);
        values.push_back(date(1930 + int(next() % 75), int(next() % 12 + 1), int(next() % 28 + 1)));
        values.push_back(r % 97 == 0 ? std::string() : date(1990 + int(next() % 35), int(next() % 12 + 1), int(next() % 28 + 1)));
        snprintf(buf, sizeof buf, "%.2f", double(next() % 10000000) / 100.0);
        values.push_back(buf);
        snprintf(buf, sizeof buf, "%.2f", double(next() % 3000) / 100.0);
        values.push_back(buf);
        values.push_back(next() % 4 == 0 ? "F" : "T");
        values.push_back(std::string(1, char('A' + next() % 5)));
        snprintf(buf, sizeof buf, "%d", int(next() % 100000));
        values.push_back(buf);
        snprintf(buf, sizeof buf, "%.3f", double(next() % 10000000) / 1000.0);
        values.push_back(buf);
        if (r % 10 == 0) {
            std::string memo = std::string("Kunde ") + values[2] + " " + values[1] + " aus " + values[5]
                + ": Lieferung bitte nur vormittags.\r\nR\xFC" "ckfragen an die Gesch\xE4" "ftsf\xFChrung.";
            std::vector<unsigned char> data(8 + memo.size());
            data[0] = 0xFF; data[1] = 0xFF; data[2] = 0x08; data[3] = 0x00;
            le32(data.data() + 4, uint32_t(data.size()));
            memcpy(data.data() + 8, memo.data(), memo.size());
            const uint32_t blocks = uint32_t((data.size() + blockSize - 1) / blockSize);
            data.resize(size_t(blocks) * blockSize, 0);
            fwrite(data.data(), 1, data.size(), dbt);
            snprintf(buf, sizeof buf, "%010u", nextBlock);
            nextBlock += blocks;
            values.push_back(buf);
        } else {
            values.push_back("");
        }
        snprintf(buf, sizeof buf, "%.2f", double(next() % 1000000) / 100.0);
        values.push_back(buf);
        values.push_back(date(2026, int(next() % 12 + 1), int(next() % 28 + 1)));

        for (size_t i = 0; i < columns.size(); ++i) {
            const Column &c = columns[i];
            put(rec, at, values[i], c.length, c.type == 'N' || c.type == 'F');
            at += size_t(c.length);
        }
        fwrite(rec.data(), 1, rec.size(), dbf);
    }
    fputc(0x1A, dbf);

    // Memo header: next free block, the table's name, block size.
    unsigned char mh[32] = {};
    le32(mh, nextBlock);
    std::string base = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    base = base.substr(0, std::min<size_t>(8, base.find('.')));
    for (char &ch : base)
        ch = char(toupper(static_cast<unsigned char>(ch)));
    memcpy(mh + 8, base.data(), base.size());
    le16(mh + 20, blockSize);
    fseek(dbt, 0, SEEK_SET);
    fwrite(mh, 1, sizeof mh, dbt);
    fclose(dbt);
    fclose(dbf);
    printf("%s: %ld Sätze, Satzlänge %u\n", path.c_str(), records, recordLength);
    return 0;
}
