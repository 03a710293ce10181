// Shared by the record-database fuzz targets: a scratch tool directory that
// holds the fuzz input as <dir>/db/f.qdb, removed at exit, and the check
// that stops the run on a broken promise.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "utils.h"

inline const std::string& DbFile()
{
    static const std::string path = [] {
        char dir[] = "/tmp/dbm_fuzz.XXXXXX";
        if (!mkdtemp(dir)) {
            perror("mkdtemp");
            abort();
        }
        pToolPath = SaveStr_(dir);
        const std::string db = std::string(dir) + "/db";
        if (mkdir(db.c_str(), 0700) != 0) {
            perror("mkdir");
            abort();
        }
        std::atexit([] {
            unlink(DbFile().c_str());
            rmdir((std::string(pToolPath) + "/db").c_str());
            rmdir(pToolPath);
        });
        return db + "/f.qdb";
    }();
    return path;
}

inline void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}
