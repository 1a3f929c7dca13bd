/* The binary interface of kel.lib, the archive library: four exported functions with the
 * Windows standard calling convention and ANSI text, their records and callbacks. The engine
 * and the library both compile against this header; nothing here needs <windows.h>. */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define KEL_CALL __stdcall
#else
#define KEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One listed entry: 48 bytes on 32- and 64-bit Windows alike. */
typedef struct KelListEntry {
    const char* path; /* entry path inside the archive, folders separated by '\' */
#if UINTPTR_MAX == 0xFFFFFFFFu
    uint32_t pathPadding;
#endif
    uint64_t size;       /* unpacked size */
    uint64_t packedSize; /* packed size of the entry's folder, given on the folder's first file, else 0 */
    uint32_t crc;        /* stored CRC-32 when flags has KEL_ENTRY_HAS_CRC */
    uint32_t flags;      /* KEL_ENTRY_* */
    uint64_t modified;   /* last write time as a FILETIME, 0 when not stored */
    uint32_t attributes; /* Windows file attributes (FILE_ATTRIBUTE_DIRECTORY for folders) */
    uint32_t reserved;
} KelListEntry;

enum {
    KEL_ENTRY_DIRECTORY = 1,
    KEL_ENTRY_ENCRYPTED = 2,
    KEL_ENTRY_HAS_CRC = 4,
};

/* The entries to extract: paths as OpenListArchive listed them. */
typedef struct KelFileList {
    const char* const* paths;
    uint32_t count;
} KelFileList;

/* Size of the buffer handed to the password callback, terminating zero included. */
#define KEL_PASSWORD_BUFFER_SIZE 1024

/* Writes a password into buffer and returns 1, or returns 0 when it has none (more). */
typedef int32_t(KEL_CALL* KelPasswordCallback)(char* buffer);
/* Progress of an extraction: the entry being written, bytes done and total. 1 continues, 0 cancels. */
typedef int32_t(KEL_CALL* KelProgressCallback)(const char* path, uint64_t done, uint64_t total);
/* An entry could not be extracted (path, error code): 1 goes on with the other entries (the
 * extraction still fails), 0 stops at once. Without a callback the extraction stops. */
typedef int32_t(KEL_CALL* KelEntryErrorCallback)(const char* path, int32_t code);
/* An output file exists already. Answers: 0 cancel the extraction, 1 keep it (skip the entry),
 * 2 keep this and every later one, 3 replace this and every later one, 4 replace it.
 * Without a callback existing files are kept. */
typedef int32_t(KEL_CALL* KelOverwriteCallback)(const char* existingPath, uint32_t existingSizeLow,
                                                uint32_t existingSizeHigh, uint32_t existingTimeLow,
                                                uint32_t existingTimeHigh, const char* entryPath,
                                                uint32_t entrySizeLow, uint32_t entrySizeHigh,
                                                uint32_t entryTimeLow, uint32_t entryTimeHigh);

enum {
    KEL_OVERWRITE_CANCEL = 0,
    KEL_OVERWRITE_SKIP = 1,
    KEL_OVERWRITE_SKIP_ALL = 2,
    KEL_OVERWRITE_ALL = 3,
    KEL_OVERWRITE_REPLACE = 4,
};

enum {
    KEL_PATHS_FULL = 0, /* recreate the archive's folders below the output folder */
    KEL_PATHS_NONE = 1, /* write every file directly into the output folder */
};

/* Error codes of GetLastArchiveError. */
enum {
    KEL_ERROR_NONE = 0,
    KEL_ERROR_NOT_FOUND = 1001,          /* the archive file was not found */
    KEL_ERROR_ILLEGAL_PATH = 1002,       /* a file list entry is empty, a wildcard or not in the archive */
    KEL_ERROR_CANNOT_OPEN = 1003,        /* not a 7z archive, or its header password is missing or wrong */
    KEL_ERROR_CORRUPT = 1004,            /* damaged or truncated archive */
    KEL_ERROR_CRC = 1005,                /* decoded data does not match its stored CRC */
    KEL_ERROR_WRONG_PASSWORD = 1006,     /* encrypted data no offered password decodes */
    KEL_ERROR_UNSAFE_PATH = 1007,        /* an entry path would leave the output folder */
    KEL_ERROR_CANCELLED = 1008,          /* the progress or overwrite callback cancelled */
    KEL_ERROR_WRITE = 1009,              /* an output file or folder could not be written */
    KEL_ERROR_UNSUPPORTED = 1010,        /* a compression method this library lacks */
    KEL_ERROR_LIMIT = 1011,              /* the archive needs more memory than the library allows */
    KEL_ERROR_INVALID_ARGUMENT = 1012,   /* null pointer, unknown handle or path mode */
};

/* Lists an archive. reserved1..4 are 0. password may be null; the callback is asked when the
 * header is encrypted and the password is missing or wrong. Returns a handle (0 on failure)
 * that owns *entries until CloseListArchive. */
intptr_t KEL_CALL OpenListArchive(const char* archivePath, int32_t reserved1, KelPasswordCallback passwordCallback,
                                  int32_t reserved2, int32_t reserved3, int32_t reserved4, const char* password,
                                  KelListEntry** entries, int32_t* count);
/* Frees a listing; returns 1, or 0 for an unknown handle. */
int32_t KEL_CALL CloseListArchive(intptr_t handle);
/* Extracts the listed entries (every entry when files is null) into outputFolder, which is
 * created when missing. reserved is 1. Returns 1 on success, 0 on failure. */
int32_t KEL_CALL ExtractArchive(const char* archivePath, int32_t reserved, const char* outputFolder,
                                const KelFileList* files, int32_t pathMode, const char* password,
                                KelPasswordCallback passwordCallback, KelProgressCallback progressCallback,
                                KelEntryErrorCallback entryErrorCallback, KelOverwriteCallback overwriteCallback);
/* The error code of the last call of the functions above (0 after a success). reserved is 0. */
int32_t KEL_CALL GetLastArchiveError(int32_t reserved);

/* Function pointer types for run-time binding (GetProcAddress). */
typedef intptr_t(KEL_CALL* KelOpenListArchiveFn)(const char*, int32_t, KelPasswordCallback, int32_t, int32_t, int32_t,
                                                 const char*, KelListEntry**, int32_t*);
typedef int32_t(KEL_CALL* KelCloseListArchiveFn)(intptr_t);
typedef int32_t(KEL_CALL* KelExtractArchiveFn)(const char*, int32_t, const char*, const KelFileList*, int32_t,
                                               const char*, KelPasswordCallback, KelProgressCallback,
                                               KelEntryErrorCallback, KelOverwriteCallback);
typedef int32_t(KEL_CALL* KelGetLastArchiveErrorFn)(int32_t);

#ifdef __cplusplus
}
#endif
