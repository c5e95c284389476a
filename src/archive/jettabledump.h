#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The half of reading an Access file that runs in a child process: opens the file with
// libmdb and writes the stored cells of whole tables, as bytes, to a pipe. A value is only
// written when it is whole as far as the file can tell: its row lies within its page, each
// field within its row, a memo's pieces add up to the length its header declares. Anything
// else ends the output with an error record. It uses no Qt (the child is forked from a
// program whose other threads may hold Qt's locks), only libmdb and the C library.
//
// Records: a 32-bit length, a kind, the payload; numbers in the machine's own byte order,
// since the reader is the same program.
class JetTableDump {
public:
    enum Record : unsigned char {
        File = 'F',   // u8: 1 for Jet 3 (texts in Windows-1252), 0 for Jet 4 (UTF-16)
        Header = 'H', // u32 rows the table declares, u16 columns, each: u8 libmdb type,
                      // u16 length of the name, the name in UTF-8
        Row = 'R',    // for each column in the table's order: i32 length (-1: NULL), the bytes
        End = 'E',    // every row the scan found is written
        Error = 'X',  // u8 Failure, u32 table (index in the list), u32 row (from 1), u32 column
    };
    enum Failure : unsigned char { CannotOpen = 1, NoCatalog, NoTable, BadTable, BadRow, BadValue };

    JetTableDump(std::string path, std::vector<std::string> tables)
        : m_path(std::move(path)), m_tables(std::move(tables)) {}

    // Writes the tables to fd, in the order asked; returns the exit code, 0 also after an
    // error record (non-zero only when the pipe could not be written).
    int run(int fd) const;

private:
    std::string m_path;
    std::vector<std::string> m_tables;
};
