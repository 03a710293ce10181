// In-place editing of text files: the input is streamed, edited, into a
// companion output file, which then takes the input's place by rename(2).
// No shell is involved, so any file name is safe, and the input is only
// replaced by an output that was written whole.
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "FileEditFrame.h"
#include "utils.h"

namespace {

// First failure of a write to the current output, 0 while there is none.
int outputError = 0;

[[noreturn]] void NameTooLong(const char* base, const char* dot, const char* ext, const char* suffix)
{
    errno = ENAMETOOLONG;
    SysError("can't open file, %s%s%s%s", base, dot, ext, suffix);
}

// name = base, "." and ext (the dot only with an ext, or always when
// alwaysDot is set), then suffix. base and ext may lie in name itself.
void FormName(char (&name)[kEditNameSize], const char* base, const char* ext, bool alwaysDot,
              const char* suffix)
{
    if (!base)
        base = "";
    if (!ext)
        ext = "";
    const char* dot = (*ext || alwaysDot) ? "." : "";
    char formed[kEditNameSize];
    int n = snprintf(formed, sizeof formed, "%s%s%s%s", base, dot, ext, suffix);
    if (n < 0 || static_cast<size_t>(n) >= sizeof formed)
        NameTooLong(base, dot, ext, suffix);
    memcpy(name, formed, static_cast<size_t>(n) + 1);
}

void OpenInput(const char* name)
{
    pIn = OpenFile(pIn, name, "rt", 2);
    FileStatus = 0;
}

// The output always starts as a new file: whatever an earlier run left at
// its name (a file, or a link pointing elsewhere) is removed first, and the
// exclusive create refuses anything that appears there meanwhile, so the
// edit never writes through a link or into a file linked elsewhere. The
// output takes the input's permissions before any line is written to it.
void OpenOutput(const char* name)
{
    unlink(name);
    pOut = OpenFile(pOut, name, "wtx", 2);
    outputError = 0;
    struct stat status;
    if (fstat(fileno(pIn), &status) == 0 && fchmod(fileno(pOut), status.st_mode & 0777) != 0)
        outputError = errno;
}

// Flushes the output to the disk and closes it; 0, or the error of the
// first write that failed.
int CloseOutput()
{
    int err = outputError;
    errno = 0;
    if (!err && (fflush(pOut) != 0 || ferror(pOut) || fsync(fileno(pOut)) != 0))
        err = errno ? errno : EIO;
    if (fclose(pOut) != 0 && !err)
        err = errno;
    pOut = nullptr;
    outputError = 0;
    return err;
}

// The edit cannot be completed: the output goes, the input stays as it was.
void AbandonEdit(const char* out, const char* action, const char* name, int err)
{
    unlink(out);
    ErrorMsg(1, 0, "can't %s file, %s : %s", action, name, strerror(err));
}

}  // namespace

void FormEditNames(EditNames& names, const char* base, const char* ext)
{
    FormName(names.in, base, ext, false, "");
    FormName(names.out, base, ext, true, "out");
}

void OpenEditFiles(const EditNames& names)
{
    OpenInput(names.in);
    OpenOutput(names.out);
}

bool ReadEditPiece(EditPiece& piece)
{
    piece.length = 0;
    while (piece.length < EditPiece::kMaxChars) {
        int c = getc(pIn);
        if (c == EOF)
            return piece.length > 0;
        piece.text[piece.length++] = static_cast<char>(c);
        if (c == '\n')
            return true;
    }
    // A line of exactly 510 characters keeps its line end.
    int c = getc(pIn);
    if (c == '\n')
        piece.text[piece.length++] = '\n';
    else if (c != EOF)
        ungetc(c, pIn);
    return true;
}

void WriteEdit(std::string_view text)
{
    if (fwrite(text.data(), 1, text.size(), pOut) != text.size() && !outputError)
        outputError = errno ? errno : EIO;
}

void FinishEdit(const char* in, const char* out)
{
    int readError = 0;
    if (pIn && ferror(pIn))
        readError = errno ? errno : EIO;
    CloseInputFile();
    int writeError = pOut ? CloseOutput() : 0;
    if (readError) {
        AbandonEdit(out, "read", in, readError);
        return;
    }
    if (writeError) {
        AbandonEdit(out, "write", out, writeError);
        return;
    }
    // rename(2) replaces the input in one step: at every moment the name
    // holds either the old contents or the new ones.
    if (rename(out, in) != 0)
        AbandonEdit(out, "replace", in, errno);
}

void OpenIOFiles(const char* base, const char* ext, const char*)
{
    FormName(Fn, base, ext, false, "");
    FormName(FnOut, Fn, "", false, "out");
    OpenInput(Fn);
    OpenOutput(FnOut);
}

void ReplaceInputFile()
{
    // Without an open output there is nothing to put in the input's place.
    if (!pOut) {
        CloseInputFile();
        return;
    }
    FinishEdit(Fn, FnOut);
}
