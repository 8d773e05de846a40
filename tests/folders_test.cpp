// Folders as sources of pictures, on real temporary trees: the walk's rules, its
// cache, the default folders, the shuffle shared between processes, the readers of
// the user's settings, and a folder or standard input in the place of an image list.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"
#include "platform/picture_folders.h"
#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"

namespace vellora::linux_platform {
namespace {

namespace fs = std::filesystem;

// A temporary folder that is also HOME and every XDG base folder, put back afterwards.
class TemporaryHome {
public:
    TemporaryHome() : root(fs::temp_directory_path() / ("vellora-folders-" + std::to_string(getpid()))) {
        fs::remove_all(root);
        fs::create_directories(root / "home");
        for (const char* name : variables) saved.push_back(getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt);
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    ~TemporaryHome() {
        for (std::size_t i = 0; i < saved.size(); ++i) {
            if (saved[i]) setenv(variables[i], saved[i]->c_str(), 1);
            else unsetenv(variables[i]);
        }
        std::error_code ignored;
        fs::permissions(root, fs::perms::all, ignored);
        for (auto& item : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ignored))
            fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }
    fs::path home() const { return root / "home"; }
    fs::path root;

private:
    static constexpr const char* variables[] = {"HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"};
    std::vector<std::optional<std::string>> saved;
};

void touch(const fs::path& path, const std::string& text = "") {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> walked(const fs::path& root, FolderCache previousCache = {}, bool withCache = false, const WalkHooks& hooks = {},
                                FolderCache* result = nullptr) {
    std::vector<std::string> found;
    FolderCache cache = walkFolder(root.string(), withCache ? &previousCache : nullptr, [&](std::string path) {
        found.push_back(fs::path(path).lexically_relative(root).string());
        return true;
    }, hooks).cache;
    if (result) *result = std::move(cache);
    return found;
}

TEST(FolderWalk, TakesExactlyThePicturesOfATree) {
    TemporaryHome home;
    const fs::path tree = home.root / "tree";
    enum Kind { file, folder, link };
    struct Entry {
        Kind kind;
        const char* path;
        const char* target;  // for links
        bool shown;          // for files and links: whether the walk gives it
    };
    const std::vector<Entry> entries = {
        {file, "b.jpg", nullptr, true},
        {file, "A.JPG", nullptr, true},
        {file, "c.Png", nullptr, true},
        {file, "notes.txt", nullptr, false},
        {file, "jpg", nullptr, false},
        {file, ".hidden.jpg", nullptr, false},
        {file, ".thumbnails/t.png", nullptr, false},
        {file, "@eaDir/b.jpg/SYNOPHOTO_THUMB_M.jpg", nullptr, false},
        {file, "#recycle/old.jpg", nullptr, false},
        {file, "2023/01/one.jpeg", nullptr, true},
        {file, "2023/01/two.webp", nullptr, true},
        {file, "2023/02/three.HEIC", nullptr, true},
        {file, "2023/02/four.tiff", nullptr, true},
        {folder, "folder.jpg", nullptr, false},
        {file, "folder.jpg/inside.gif", nullptr, true},
        {link, "loop", ".", false},
        {link, "2023/01/up", "../..", false},
        {link, "linked.bmp", "2023/01/one.jpeg", true},
        {link, "dangling.jpg", "missing.jpg", false},
        {file, "vanishing/v.jpg", nullptr, false},
        {file, "vanishing/stays.jpg", nullptr, true},
        {file, "gone/g.jpg", nullptr, false},
        {file, "locked/l.jpg", nullptr, true},
    };
    for (const Entry& e : entries) {
        const fs::path path = tree / e.path;
        fs::create_directories(path.parent_path());
        if (e.kind == file) touch(path);
        if (e.kind == folder) fs::create_directories(path);
        if (e.kind == link) fs::create_symlink(e.target, path);
    }
    // A folder that cannot be read is left out (root reads it anyway).
    fs::permissions(tree / "locked", fs::perms::none);
    const bool lockedReadable = access((tree / "locked").c_str(), R_OK) == 0;
    // Files and folders that vanish between the listing of their parent and their own turn.
    WalkHooks hooks;
    hooks.beforeFolder = [&](const std::string& folder) {
        if (folder == (tree / "vanishing").string()) fs::remove(tree / "vanishing/v.jpg");
        if (folder == (tree / "gone").string()) fs::remove_all(tree / "gone");
    };

    std::vector<std::string> want;
    for (const Entry& e : entries)
        if (e.shown && (std::string(e.path) != "locked/l.jpg" || lockedReadable)) want.push_back(e.path);
    std::vector<std::string> got = walked(tree, {}, false, hooks);
    // A folder's pictures in byte order, before the folders below it.
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3), (std::vector<std::string>{"A.JPG", "b.jpg", "c.Png"}));
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
}

TEST(FolderWalk, StopsAtTheDepthBound) {
    TemporaryHome home;
    fs::path deep = home.root / "deep";
    for (int depth = 0; depth <= maxFolderDepth + 2; ++depth) {
        touch(deep / ("at" + std::to_string(depth) + ".png"));
        deep /= "d";
    }
    const std::vector<std::string> got = walked(home.root / "deep");
    EXPECT_EQ(got.size(), static_cast<std::size_t>(maxFolderDepth + 1));
}

void setModified(const fs::path& folder, struct timespec time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, time};
    utimensat(AT_FDCWD, folder.c_str(), times, 0);
}

// photos/a/1.jpg and photos/b/2.jpg, their folders last changed long ago.
fs::path settledPhotos(const TemporaryHome& home) {
    const fs::path tree = home.root / "photos";
    touch(tree / "a/1.jpg");
    touch(tree / "b/2.jpg");
    for (const char* folder : {"", "a", "b"}) setModified(tree / folder, {1000000000, 0});
    return tree;
}

TEST(FolderCache, UsedWhenNothingChangedAndRefreshedWhereAFolderChanged) {
    TemporaryHome home;
    const fs::path tree = settledPhotos(home);
    FolderCache first;
    walked(tree, {}, false, {}, &first);
    ASSERT_TRUE(saveFolderCache(first));
    std::optional<FolderCache> loaded = loadFolderCache(tree.string());
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->folders.size(), 3u);

    // A name only the cache knows shows that a folder was not read again.
    for (CachedFolder& folder : loaded->folders) folder.pictures.push_back("only-in-cache.jpg");
    EXPECT_EQ(walked(tree, *loaded, true), (std::vector<std::string>{"only-in-cache.jpg", "a/1.jpg", "a/only-in-cache.jpg",
                                                                "b/2.jpg", "b/only-in-cache.jpg"}));
    // A picture added to b changes b's time: b is read again, the rest still comes from the cache.
    touch(tree / "b/3.jpg");
    setModified(tree / "b", {1500000000, 0});
    EXPECT_EQ(walked(tree, *loaded, true),
              (std::vector<std::string>{"only-in-cache.jpg", "a/1.jpg", "a/only-in-cache.jpg", "b/2.jpg", "b/3.jpg"}));

    // A picture that arrives in the second the folder was listed in may leave its time
    // as it was on a file system of whole seconds: that listing is taken again next time.
    touch(tree / "c/4.jpg");
    struct stat listedAt {};
    ASSERT_EQ(stat((tree / "c").c_str(), &listedAt), 0);
    FolderCache third;
    walked(tree, {}, false, {}, &third);
    touch(tree / "c/5.jpg");
    setModified(tree / "c", listedAt.st_mtim);
    const std::vector<std::string> later = walked(tree, third, true);
    EXPECT_NE(std::find(later.begin(), later.end(), "c/5.jpg"), later.end());
}

TEST(FolderCache, ADamagedFileIsNoCache) {
    TemporaryHome home;
    const fs::path tree = home.root / "photos";
    touch(tree / "a/1.jpg");
    FolderCache cache;
    walked(tree, {}, false, {}, &cache);
    const std::string good = encodeFolderCache(cache);
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x01;
    FolderCache other = cache;
    other.root = "/elsewhere";
    const std::vector<std::pair<std::string, std::string>> damages = {
        {"empty", ""},
        {"cut short", good.substr(0, good.size() - 1)},
        {"one bit changed", flipped},
        {"longer", good + "x"},
        {"another folder's", encodeFolderCache(other)},
        {"text", "/home/me/photos\n"},
    };
    fs::create_directories(cacheDirectory());
    for (const auto& [name, bytes] : damages) {
        std::ofstream(folderCachePath(tree.string()), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_FALSE(loadFolderCache(tree.string())) << name;
        // The show then walks the folder as if there were no cache.
        FolderCatalogue catalogue;
        ASSERT_TRUE(catalogue.takes(tree.string())) << name;
        catalogue.waitForWalk();
        EXPECT_EQ(catalogue.count(), 1) << name;
        EXPECT_EQ(catalogue.entry(0), (tree / "a/1.jpg").string()) << name;
    }
    std::ofstream(folderCachePath(tree.string()), std::ios::binary | std::ios::trunc) << good;
    EXPECT_TRUE(loadFolderCache(tree.string()));
}

ino_t inode(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(FolderCache, WrittenOnlyWhenSomethingChanged) {
    TemporaryHome home;
    const fs::path tree = settledPhotos(home);
    struct Start {
        const char* name;
        std::function<void()> before;
        bool written;
    };
    const std::vector<Start> starts = {
        {"the first", [] {}, true},
        {"nothing changed", [] {}, false},
        {"a picture added", [&] { touch(tree / "a/3.jpg"); setModified(tree / "a", {1100000000, 0}); }, true},
        {"nothing changed since", [] {}, false},
        {"a folder removed", [&] { fs::remove_all(tree / "b"); setModified(tree, {1200000000, 0}); }, true},
    };
    for (const Start& start : starts) {
        start.before();
        const ino_t before = inode(folderCachePath(tree.string()));
        FolderCatalogue catalogue;
        ASSERT_TRUE(catalogue.takes(tree.string()));
        catalogue.waitForWalk();
        // Replacing the file gives it a new inode.
        EXPECT_EQ(inode(folderCachePath(tree.string())) != before, start.written) << start.name;
    }
}

TEST(FolderCache, HoldsNoMoreThanItsReaderTakes) {
    TemporaryHome home;
    const fs::path tree = home.root / "many";
    // Two folders of 600,000 pictures each, whose listings the walk takes from the cache.
    FolderCache previous{tree.string(), {}};
    for (const std::string folder : {"", "a", "b"}) {
        fs::create_directories(tree / folder);
        setModified(tree / folder, {1000000000, 0});
        CachedFolder listed{folder, 1000000000, 0, {}, {}};
        if (folder.empty()) listed.folders = {"a", "b"};
        for (int i = 0; !folder.empty() && i < 600000; ++i) listed.pictures.push_back(std::to_string(i) + ".jpg");
        previous.folders.push_back(std::move(listed));
    }
    std::size_t found = 0;
    const WalkedFolder walked = walkFolder(tree.string(), &previous, [&](std::string) { return ++found, true; });
    EXPECT_EQ(found, maxFolderEntries);
    const std::optional<FolderCache> read = decodeFolderCache(encodeFolderCache(walked.cache));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->folders.size(), 2u);
}

TEST(DefaultFolders, TriedInOrder) {
    struct Case {
        const char* name;
        std::string xscreensaver;  // the file's text; empty for no file
        std::string userDirs;
        std::vector<const char*> pictures;  // files made under home
        std::optional<std::string> want;    // relative to home
    };
    const std::vector<Case> cases = {
        {"imageDirectory first", "mode: one\nimageDirectory:\t~/saver\n", "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n",
         {"saver/x.jpg", "Fotos/y.jpg", "Pictures/z.jpg"}, "saver"},
        {"an address is no folder", "imageDirectory:\thttps://example.com/photos\n",
         "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n", {"Fotos/y.jpg", "Pictures/z.jpg"}, "Fotos"},
        {"a folder with no picture, and a pictures folder that is home", "imageDirectory: ~/empty\n",
         "XDG_PICTURES_DIR=\"$HOME/\"\n", {"empty/readme.txt", "top.jpg", "Pictures/2020/z.jpg"}, "Pictures"},
        {"nothing anywhere", "", "", {"Pictures/readme.txt"}, std::nullopt},
    };
    for (const Case& c : cases) {
        TemporaryHome home;
        if (!c.xscreensaver.empty()) touch(home.home() / ".xscreensaver", c.xscreensaver);
        if (!c.userDirs.empty()) touch(home.home() / ".config/user-dirs.dirs", c.userDirs);
        fs::create_directories(home.home() / "empty");
        for (const char* p : c.pictures) touch(home.home() / p);
        const std::optional<std::string> got = defaultPictureFolder();
        EXPECT_EQ(got, c.want ? std::optional<std::string>((home.home() / *c.want).string()) : std::nullopt) << c.name;
    }
}

TEST(UserSettings, PictureFolderReaders) {
    const std::string home = "/home/me";
    struct Case {
        bool xscreensaver;  // which reader
        std::string text;
        std::optional<std::string> want;
    };
    const std::vector<Case> cases = {
        {true, "imageDirectory:\t/srv/photos\n", "/srv/photos"},
        {true, "*imageDirectory:  ~/Bilder  \r\n", "/home/me/Bilder"},
        {true, "imageDirectory:\t~\n", "/home/me"},
        {true, "imageDirectory:\t\n", std::nullopt},
        {true, "imageDirectory: http://example.com/\n", std::nullopt},
        {true, "textFile: /x\nimageDirectory: /first\nimageDirectory: /second", "/first"},
        {true, "# imageDirectory: /commented\n", std::nullopt},
        {true, "programs: imageDirectory: /x", std::nullopt},
        {false, "# comment\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "/home/me/Pictures"},
        {false, "XDG_PICTURES_DIR=\"/data/My \\\"Photos\\\"\"\n", "/data/My \"Photos\""},
        {false, "XDG_PICTURES_DIR=\"$HOME\"\n", std::nullopt},
        {false, "XDG_PICTURES_DIR=\"$HOME/\"\n", std::nullopt},
        {false, "XDG_PICTURES_DIR=\"relative\"\n", std::nullopt},
        {false, "XDG_PICTURES_DIR=/unquoted\n", std::nullopt},
        {false, "XDG_PICTURES_DIR=\"$HOMEWORK/x\"\n", std::nullopt},
        {false, "XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"/b\"\n", "/b"},
        {false, "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = c.xscreensaver ? xscreensaverImageDirectory(c.text, home) : xdgPicturesDirectory(c.text, home);
        EXPECT_EQ(got, c.want) << c.text;
    }
}

fs::path fiftyPictures(const TemporaryHome& home) {
    const fs::path folder = home.root / "fifty";
    for (int i = 0; i < 50; ++i) touch(folder / ("f" + std::to_string(i / 10)) / ("p" + std::to_string(i) + ".jpg"));
    return folder;
}

std::string shuffled(FolderCatalogue& catalogue) {
    const std::int32_t next = catalogue.chooseNext();
    return next < 0 ? std::string() : catalogue.entry(next);
}

TEST(Shuffle, EveryPictureOnceThenAgainAcrossARestart) {
    TemporaryHome home;
    const fs::path folder = fiftyPictures(home);
    std::vector<std::string> order;
    for (int run = 0; run < 2; ++run) {  // 20 ticks, a restart, then the other 30
        FolderCatalogue catalogue;
        catalogue.setShuffle(true);
        ASSERT_TRUE(catalogue.takes(folder.string()));
        catalogue.waitForWalk();
        for (int tick = 0; tick < (run == 0 ? 20 : 30); ++tick) order.push_back(shuffled(catalogue));
    }
    EXPECT_EQ(std::set<std::string>(order.begin(), order.end()).size(), 50u);
    std::vector<std::string> inWalkOrder = order;
    std::sort(inWalkOrder.begin(), inWalkOrder.end());
    EXPECT_NE(order, inWalkOrder);

    // Mid-round, a picture added joins the round and one removed before its turn is skipped.
    std::vector<std::string> round;
    for (int run = 0; run < 2; ++run) {
        FolderCatalogue catalogue;
        catalogue.setShuffle(true);
        ASSERT_TRUE(catalogue.takes(folder.string()));
        catalogue.waitForWalk();
        for (int tick = 0; tick < (run == 0 ? 10 : 40); ++tick) round.push_back(shuffled(catalogue));
        if (run > 0) break;
        const std::string removed = *std::find_if(order.begin(), order.end(), [&](const std::string& p) {
            return std::find(round.begin(), round.end(), p) == round.end();
        });
        fs::remove(removed);
        touch(folder / "f9/new.jpg");
        order = {removed};
    }
    const std::set<std::string> shown(round.begin(), round.end());
    EXPECT_EQ(shown.size(), 50u);
    EXPECT_TRUE(shown.count((folder / "f9/new.jpg").string()));
    EXPECT_FALSE(shown.count(order[0]));
}

TEST(Shuffle, TwoProcessesNeverShowTheSamePictureAtOneTick) {
    TemporaryHome home;
    const fs::path folder = fiftyPictures(home);
    constexpr int ticks = 100;
    struct Process {
        pid_t pid;
        int go, shown;  // pipes: a byte per tick to it; a picture per tick from it
    };
    std::vector<Process> processes;
    signal(SIGPIPE, SIG_IGN);  // a process that died is a failure to report, not the end of the tests
    for (int p = 0; p < 2; ++p) {
        int go[2], shown[2];
        ASSERT_EQ(pipe(go), 0);
        ASSERT_EQ(pipe(shown), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (const Process& earlier : processes) {  // or its end of a pipe would keep the other open
                close(earlier.go);
                close(earlier.shown);
            }
            close(go[1]);
            close(shown[0]);
            FolderCatalogue catalogue;
            catalogue.setShuffle(true);
            catalogue.takes(folder.string());
            catalogue.waitForWalk();
            char byte;
            while (read(go[0], &byte, 1) == 1) {
                const std::string picture = shuffled(catalogue) + "\n";
                if (write(shown[1], picture.data(), picture.size()) != static_cast<ssize_t>(picture.size())) break;
            }
            _exit(0);
        }
        close(go[0]);
        close(shown[1]);
        processes.push_back({pid, go[1], shown[0]});
    }
    auto readLine = [](int fd) {
        std::string line;
        char c;
        while (read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
        return line;
    };
    std::vector<std::string> all;
    for (int tick = 0; tick < ticks; ++tick) {
        for (Process& p : processes) ASSERT_EQ(write(p.go, "t", 1), 1);
        const std::string a = readLine(processes[0].shown), b = readLine(processes[1].shown);
        ASSERT_FALSE(a.empty());
        EXPECT_NE(a, b) << "tick " << tick;
        all.push_back(a);
        all.push_back(b);
    }
    for (Process& p : processes) {
        close(p.go);
        close(p.shown);
        int status = -1;
        waitpid(p.pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    // Between them, every round of 50 shows every picture once.
    for (std::size_t round = 0; round < all.size() / 50; ++round)
        EXPECT_EQ(std::set<std::string>(all.begin() + round * 50, all.begin() + (round + 1) * 50).size(), 50u) << round;
}

TEST(Shuffle, SmallFoldersChangeOrderEachCycleAndMonitorsStayApart) {
    for (std::uint64_t count : {2u, 3u, 4u, 5u, 8u, 16u, 20u}) {
        std::vector<std::uint64_t> known;
        for (std::uint64_t i = 1; i <= count; ++i) known.push_back(hashBytes(std::to_string(i)));
        std::uint64_t seed = 0;
        const auto take = [&](ShuffleState& state) {
            seed += 0x9E3779B97F4A7C15u;
            return takeNextInShuffle(state, known, seed);
        };
        // One show: the cycles do not all come in one order.
        ShuffleState alone;
        std::set<std::vector<std::int32_t>> orders;
        for (int cycle = 0; cycle < 20; ++cycle) {
            std::vector<std::int32_t> order;
            for (std::uint64_t i = 0; i < count; ++i) order.push_back(take(alone));
            EXPECT_EQ(std::set<std::int32_t>(order.begin(), order.end()).size(), count) << count;
            orders.insert(order);
        }
        if (count >= 3) {
            EXPECT_GT(orders.size(), 1u) << count;
        }
        // Two monitors taking in turn: never the picture the other shows, and in time every picture on each.
        ShuffleState shared;
        std::int32_t showing[2] = {-1, -1};
        std::set<std::int32_t> seen[2];
        for (std::uint64_t turn = 0; turn < 40 * count; ++turn) {
            const std::size_t monitor = turn % 2;
            showing[monitor] = take(shared);
            EXPECT_NE(showing[monitor], showing[1 - monitor]) << count << " turn " << turn;
            seen[monitor].insert(showing[monitor]);
        }
        if (count >= 4) {
            EXPECT_EQ(seen[0].size() + seen[1].size(), 2 * count) << count;
        }
    }
}

TEST(Shuffle, ADamagedStateStartsANewRound) {
    for (const std::string& bytes : {std::string(), std::string("vellora shuffle 1\n"), std::string(64, '\xff')})
        EXPECT_FALSE(decodeShuffleState(bytes));
    ShuffleState state{7, {1, 5, 9}, {5, 9}};
    const std::optional<ShuffleState> back = decodeShuffleState(encodeShuffleState(state));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->seed, 7u);
    EXPECT_EQ(back->shown, state.shown);
    EXPECT_EQ(back->recent, state.recent);
}

// The shuffle's state as the processes showing `source` share it; an empty one when there is none.
ShuffleState storedShuffle(const fs::path& source) {
    char name[32];
    std::snprintf(name, sizeof name, "/shuffle-%016llx", static_cast<unsigned long long>(hashBytes(source.string())));
    std::ifstream in(stateDirectory() + name, std::ios::binary);
    return decodeShuffleState(std::string(std::istreambuf_iterator<char>(in), {})).value_or(ShuffleState{});
}

TEST(Shuffle, ARoundGoesOnWhileTheWalkIsStillFindingPictures) {
    TemporaryHome home;
    const fs::path folder = home.root / "slow";
    for (const char* picture : {"a/1.jpg", "a/2.jpg", "b/3.jpg", "b/4.jpg", "b/5.jpg"}) touch(folder / picture);
    // The walk waits before b until the test lets it go on.
    std::promise<void> letGo;
    const std::shared_future<void> goOn = letGo.get_future().share();
    FolderCatalogue catalogue;
    catalogue.setShuffle(true);
    WalkHooks hooks;
    hooks.beforeFolder = [&](const std::string& path) {
        if (path == (folder / "b").string()) goOn.wait();
    };
    catalogue.setWalkHooks(hooks);
    EXPECT_TRUE(catalogue.takes(folder.string()));
    while (catalogue.count() < 2) std::this_thread::yield();
    std::set<std::string> early;
    for (int tick = 0; tick < 3; ++tick) early.insert(shuffled(catalogue));
    EXPECT_EQ(early, (std::set<std::string>{(folder / "a/1.jpg").string(), (folder / "a/2.jpg").string()}));
    EXPECT_EQ(storedShuffle(folder).shown.size(), 2u) << "a new round began";
    letGo.set_value();
    catalogue.waitForWalk();
    std::set<std::string> rest;
    for (int tick = 0; tick < 3; ++tick) rest.insert(shuffled(catalogue));
    EXPECT_EQ(rest, (std::set<std::string>{(folder / "b/3.jpg").string(), (folder / "b/4.jpg").string(),
                                           (folder / "b/5.jpg").string()}));
}

bool stopForTests = false;
bool stopRequestedInTests() { return stopForTests; }

TEST(Shuffle, APickCountsOnlyForAPictureLoadedBeforeAStop) {
    TemporaryHome home;
    const fs::path folder = fiftyPictures(home);
    stopFoldersWhen(stopRequestedInTests);
    for (const bool loaded : {false, true}) {
        fs::remove_all(stateDirectory());
        stopForTests = false;
        {
            FolderCatalogue catalogue;
            catalogue.setShuffle(true);
            ASSERT_TRUE(catalogue.takes(folder.string()));
            catalogue.waitForWalk();
            const std::int32_t first = catalogue.chooseNext();
            if (loaded) catalogue.loaded(first);
            stopForTests = true;
            // The rest of the tick's attempts.
            for (int attempt = 1; attempt < 10; ++attempt) EXPECT_EQ(catalogue.chooseNext(), -1);
        }
        EXPECT_EQ(storedShuffle(folder).shown.size(), loaded ? 1u : 0u) << (loaded ? "loaded" : "not loaded");
    }
    stopFoldersWhen(nullptr);
}

// What `run` writes to standard error, through a pipe (which no limit of file sizes cuts).
std::string standardErrorOf(const std::function<void()>& run) {
    int ends[2];
    if (pipe(ends) != 0) return "no pipe";
    const int saved = dup(2);
    dup2(ends[1], 2);
    close(ends[1]);
    run();
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(ends[0]);
    return text;
}

TEST(Shuffle, WhereItsStateCannotBeKeptEachStartShufflesOnItsOwn) {
    TemporaryHome home;
    const fs::path folder = home.root / "twenty";
    for (int i = 0; i < 20; ++i) touch(folder / ("p" + std::to_string(i) + ".jpg"));
    const auto start = [&] {
        auto catalogue = std::make_unique<FolderCatalogue>();
        catalogue->setShuffle(true);
        catalogue->takes(folder.string());
        catalogue->waitForWalk();
        return catalogue;
    };
    rlimit unlimited {};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    struct Case {
        const char* name;
        std::function<void()> spoil, mend;
    };
    const std::vector<Case> cases = {
        {"a state folder that cannot be made",
         [&] { touch(home.root / "file"); setenv("XDG_STATE_HOME", (home.root / "file").c_str(), 1); },
         [&] { setenv("XDG_STATE_HOME", (home.root / "state").c_str(), 1); }},
        // As on a full disk: the state is read, and every write of it fails.
        {"writes that fail",
         [&] {
             signal(SIGXFSZ, SIG_IGN);
             rlimit tiny = unlimited;
             tiny.rlim_cur = 16;
             setrlimit(RLIMIT_FSIZE, &tiny);
         },
         [&] { setrlimit(RLIMIT_FSIZE, &unlimited); signal(SIGXFSZ, SIG_DFL); }},
    };
    for (const Case& c : cases) {
        fs::remove_all(home.root / "state");
        shuffled(*start());  // a round under way, which the starts below cannot change
        c.spoil();
        std::vector<std::vector<std::string>> orders;
        for (int run = 0; run < 2; ++run) {
            std::vector<std::string> order;
            const std::string said = standardErrorOf([&] {
                auto catalogue = start();
                for (int tick = 0; tick < 19; ++tick) order.push_back(shuffled(*catalogue));
            });
            EXPECT_EQ(std::set<std::string>(order.begin(), order.end()).size(), 19u) << c.name;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << c.name << ": " << said;
            orders.push_back(order);
        }
        EXPECT_NE(orders[0], orders[1]) << c.name;
        c.mend();
    }
}

TEST(PictureCatalogue, AFolderOrStandardInputInThePlaceOfAList) {
    TemporaryHome home;
    touch(home.root / "photos/2/b.png");
    touch(home.root / "photos/1/a.jpg");
    touch(home.root / "list.txt", "/x/one.jpg\r\n/x/two.jpg\r\n");
    const std::string folder = (home.root / "photos").string();
    struct Case {
        std::string source;
        std::string standardInput;
        std::vector<std::string> entries;
    };
    const std::vector<Case> cases = {
        {folder, "", {folder + "/1/a.jpg", folder + "/2/b.png"}},
        {"-", "/p/one.png\n\n/p/three.gif", {"/p/one.png", "", "/p/three.gif"}},
        // A list file stays the core's to read, line by line on every attempt.
        {(home.root / "list.txt").string(), "", {"/x/one.jpg", "/x/two.jpg"}},
    };
    for (const Case& c : cases) {
        FolderCatalogue catalogue;
        if (c.source == "-") catalogue.setStandardInputList(c.standardInput);
        installPlatform({nullptr, &files(), nullptr, nullptr, &catalogue});
        resetSlideState();
        SlideState& s = slideState();
        s.imageListPath = c.source;
        const std::optional<std::int32_t> count = countImages(c.source);
        catalogue.waitForWalk();
        ASSERT_TRUE(count) << c.source;
        s.imageCount = *count;
        std::vector<std::string> got;
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            pickNextIndex();
            got.push_back(readListEntry());
        }
        EXPECT_EQ(got, c.entries) << c.source;
        installPlatform({});
    }
}

}  // namespace
}  // namespace vellora::linux_platform
