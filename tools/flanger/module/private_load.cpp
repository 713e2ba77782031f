// The private directory the module is loaded from, and the Language.xml it may hold.
#include "module/private_load.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace flanger::tool {
namespace {

std::string SystemError() { return std::strerror(errno); }

// Whether the bytes are UTF-8, the encoding Language.xml is written in.
bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int following = 0;
        std::uint32_t code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if (byte >= 0xC2 && byte <= 0xDF) {
            following = 1;
            code = byte & 0x1F;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            following = 2;
            code = byte & 0x0F;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            following = 3;
            code = byte & 0x07;
        } else {
            return false;
        }
        if (i + following >= text.size()) return false;
        for (int k = 1; k <= following; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode.
        if ((following == 2 && code < 0x800) || (following == 3 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        i += static_cast<std::size_t>(following) + 1;
    }
    return true;
}

// The path as an attribute value between double quotes. Tabs and line breaks become character
// references, which a parser keeps, where it would turn the characters themselves into spaces.
std::optional<std::string> AttributeValue(const std::string& path) {
    if (!IsUtf8(path)) return std::nullopt;
    std::string value;
    for (const char c : path) {
        switch (c) {
            case '&':
                value += "&amp;";
                break;
            case '<':
                value += "&lt;";
                break;
            case '"':
                value += "&quot;";
                break;
            case '\t':
                value += "&#9;";
                break;
            case '\n':
                value += "&#10;";
                break;
            case '\r':
                value += "&#13;";
                break;
            default:
                // XML has no way to write the other control characters.
                if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
                value += c;
        }
    }
    return value;
}

bool WriteAll(int file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(file, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// A private directory, empty or holding a Language.xml that names the translation; removed
// with it.
class LanguageDirectory {
public:
    static std::unique_ptr<LanguageDirectory> Create(const std::optional<std::string>& library,
                                                     std::string& error) {
        const std::optional<std::string> value =
            library ? AttributeValue(*library) : std::optional<std::string>("");
        if (!value) {
            error =
                "the path of --translation cannot be written into Language.xml (it is not "
                "UTF-8 or holds control characters)";
            return nullptr;
        }
        const char* const temporary = std::getenv("TMPDIR");
        std::string pattern =
            std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
            "/flanger-module-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot create a temporary directory for Language.xml: " + SystemError();
            return nullptr;
        }
        std::unique_ptr<LanguageDirectory> directory(new LanguageDirectory(pattern));
        if (!library) return directory;  // empty: the module finds no Language.xml
        const std::string text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language Path=\"" + *value + "\"/>\n";
        const int file = open(directory->File().c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (file < 0) {
            error = "cannot write '" + directory->File() + "': " + SystemError();
            return nullptr;
        }
        const bool written = WriteAll(file, text);
        const int writeError = errno;
        if (close(file) != 0 || !written) {
            if (!written) errno = writeError;
            error = "cannot write '" + directory->File() + "': " + SystemError();
            return nullptr;
        }
        return directory;
    }

    ~LanguageDirectory() {
        unlink(File().c_str());
        rmdir(Path.c_str());
    }
    LanguageDirectory(const LanguageDirectory&) = delete;
    LanguageDirectory& operator=(const LanguageDirectory&) = delete;

    const std::string& Directory() const { return Path; }

private:
    explicit LanguageDirectory(std::string path) : Path(std::move(path)) {}
    std::string File() const { return Path + "/Language.xml"; }
    std::string Path;
};

// The current directory changed for as long as this lives, and restored (by descriptor, so a
// renamed directory is found too) when it ends.
class DirectoryChange {
public:
    static std::unique_ptr<DirectoryChange> To(const std::string& directory, std::string& error) {
        const int previous = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (previous < 0) {
            error = "cannot open the current directory: " + SystemError();
            return nullptr;
        }
        if (chdir(directory.c_str()) != 0) {
            error = "cannot change to '" + directory + "': " + SystemError();
            close(previous);
            return nullptr;
        }
        return std::unique_ptr<DirectoryChange>(new DirectoryChange(previous));
    }

    ~DirectoryChange() {
        // Nothing sensible is left to do when the way back is gone; later relative paths would
        // then fail with their own messages.
        [[maybe_unused]] const int status = fchdir(Previous);
        close(Previous);
    }
    DirectoryChange(const DirectoryChange&) = delete;
    DirectoryChange& operator=(const DirectoryChange&) = delete;

private:
    explicit DirectoryChange(int previous) : Previous(previous) {}
    int Previous;
};

}  // namespace

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char* const directory = getcwd(nullptr, 0);
    if (directory == nullptr) return path;
    std::string absolute = std::string(directory) + "/" + path;
    std::free(directory);
    return absolute;
}

std::unique_ptr<PluginLibrary> LoadModuleInPrivateFolder(
    const std::string& path, const std::optional<std::string>& translation, std::string& error) {
    // Found before the current directory changes.
    const std::string module = AbsolutePath(path);
    const std::unique_ptr<LanguageDirectory> directory =
        LanguageDirectory::Create(translation, error);
    if (!directory) return nullptr;
    const std::unique_ptr<DirectoryChange> change =
        DirectoryChange::To(directory->Directory(), error);
    if (!change) return nullptr;
    return PluginLibrary::Load(module, error);
}

}  // namespace flanger::tool
