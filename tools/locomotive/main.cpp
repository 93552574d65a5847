#include "bmpfile.h"
#include "locomotive.h"

#include <fstream>
#include <iostream>

// Writes the main window's locomotive picture. The bitmap is checked in; this program is how it
// was made, and the test runs it again to prove the checked-in file still matches.
int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::cerr << "usage: locomotive-gen OUTPUT.bmp\n";
        return 2;
    }

    const std::vector<std::uint8_t> bytes
        = encodeBmp(drawLocomotive(), locomotiveWidth, locomotiveHeight);

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::cerr << "locomotive-gen: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
