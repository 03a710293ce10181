// qdb's hold on one database file: opening it through the record library
// by its path, taking the writers' turn for a change, surveying its
// records, and rebuilding its image from a list of records.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "Dbm.h"

namespace qdb {

enum Status {
    DONE = 0,
    NO_RECORD = 1,
    UNRECOGNISED = 1,  // repair and check: not a record database
    BAD_ARGS = 2,
    NO_DATABASE = 3,
    DAMAGED = 4,
    NOT_WRITTEN = 5,
};

// Ends the command: a message on standard error and the status.
struct Failure {
    int status;
    std::string message;
};

[[noreturn]] void Fail(int status, std::string message);

struct Record {
    std::string key;  // without its NUL
    std::string data;
};

enum class Access {
    Read,    // the file must exist
    Change,  // it must exist, and the writers' turn is taken
    Create,  // as Change, and a missing file is made
};

class Database {
public:
    Database(const std::string& arg, Access access);
    ~Database() { DbTClose(h_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    DbTHandle* Handle() { return h_; }
    const std::string& Path() const { return path_; }
    int Records() const { return records_; }
    int FileSize() const { return fileSize_; }
    time_t Modified() const { return modified_; }
    bool Damaged() const { return damagedAt_ >= 0; }
    int DamagedAt() const { return damagedAt_; }
    // A tagged header, an empty file, or at least one whole keyed record at
    // its start: anything else is no record database.
    bool Recognised() const;
    const char* Format() const;

    // Fails with DAMAGED when the records end before the file does.
    void CheckWhole() const;
    // Every record, in file order.
    std::vector<Record> List();
    // The image becomes exactly these records, in the image's format; fails
    // with BAD_ARGS for a record the format cannot hold.
    void SetRecords(const std::vector<Record>& records);
    // Writes the image over the file.
    void Save();

private:
    void Survey();

    std::string path_;
    DbTHandle* h_ = nullptr;
    int records_ = 0;
    int damagedAt_ = -1;
    int fileSize_ = 0;
    time_t modified_ = 0;
};

// Fails with BAD_ARGS when the record does not fit a database of this type.
void CheckFits(const Record& record, int type);
// Removes every record with the key and appends the new one.
void Replace(std::vector<Record>& records, Record record);

}  // namespace qdb
