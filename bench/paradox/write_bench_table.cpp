// Writes the benchmark table to a path, for measuring a dump of it:
//   paradox_write_bench_table /tmp/bench.db
#include "bench/paradox/bench_table.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: paradox_write_bench_table TABLE.db\n";
        return 2;
    }
    benchtable::write(argv[1]);
    return 0;
}
