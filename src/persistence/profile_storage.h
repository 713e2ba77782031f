// A parameter list stored in one section of a profile file: one key=value line per value, read
// and written one entry at a time through the platform's profile functions.
//
// Integer tags are stored as "%d" text, "FLOAT" and "DOUBLE" as "%g" text (six significant
// digits, read back as settings_tree/number_text.h says), "STRING" as its text, and "LSS" under
// two keys: SIZE_LSS_<name> with the size and DATA_LSS_<name> with the bytes in the struct
// encoding. The storage holds no file handle and caches nothing it reads; the values of a save
// are held until FinishSave and written in one platform call, all of the preset or none of it
// (on Linux one update of the file under its lock).
#pragma once

#include <memory>
#include <vector>

#include "persistence/parameter_storage.h"
#include "platform/profile_file.h"

namespace flanger {

class ProfileStorage final : public ParameterStorage {
public:
    // The storage of `section` in the profile file `fileName` (a relative path is relative to
    // the current directory). Both texts must outlive the storage. Null when either is null:
    // without a section there is no entry to read or write.
    static std::unique_ptr<ProfileStorage> Open(const char* fileName, const char* section);

    // An absent key gives the read's default: an integer keeps its value; a "FLOAT" or
    // "DOUBLE" becomes the value of its own "%g" text; a "STRING" is emptied; an "LSS" value
    // gets size 0 and a new block of 0 bytes (new[], owned by the caller). An "LSS" data entry
    // that does not fit its size leaves the block's bytes 0 (kLargestUnfilledBlock says when
    // the size counts without data). Texts are read whole, however long.
    void ReadValue(ParameterTag tag, const char* name, void* variable) override;

    // Holds the value's key (two keys for "LSS") for FinishSave.
    void WriteValue(ParameterTag tag, const char* name, const void* variable) override;

    // Writes the held keys. False when they did not reach the file: it could not be written
    // (on Linux also: another writer held its lock past the store wait), or the file could hold
    // none of them. The section then keeps its old values. Single values the file cannot hold
    // (a text with a line break) are left out without failing the save.
    bool FinishSave() override;

private:
    ProfileStorage(const char* fileName, const char* section)
        : fileName_(fileName), section_(section) {}

    void ReadBlock(const char* name, LssBlock& block);
    void WriteBlock(const char* name, const LssBlock& block);

    const char* fileName_;
    const char* section_;
    std::vector<platform::ProfileEntry> Pending;
};

}  // namespace flanger
