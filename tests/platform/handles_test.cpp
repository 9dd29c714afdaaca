// The handle owners: each kind of handle the platform hands out is closed
// exactly once, on the machine that issued it, whatever the owner went
// through (moves, resets, release, put).
#include "platform/handles.h"

#include <gtest/gtest.h>

#include <optional>
#include <type_traits>

#include "platform/memory/memory_machine.h"

namespace qv::platform {
namespace {

// One kind of handle: how to open one on the machine, how many of the kind
// the machine holds open, and the name of the operation that closes it.
struct FileKind {
  using Owner = UniqueFile;
  static constexpr const char* kCloseOp = "CloseHandle";
  static void Prepare(MemoryMachine& m) { ASSERT_TRUE(m.WriteTextFile(u"C:\\DATA\\X.TXT", "x")); }
  static Handle Open(MemoryMachine& m) {
    Handle h = 0;
    EXPECT_EQ(m.OpenFile(u"C:\\DATA\\X.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
    return h;
  }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.OpenFileCount(); }
};

struct KeyKind {
  using Owner = UniqueKey;
  static constexpr const char* kCloseOp = "RegCloseKey";
  static void Prepare(MemoryMachine& m) { m.CreateRegKeyDirect(RootKey::CurrentUser, u"Software\\Norva"); }
  static Handle Open(MemoryMachine& m) {
    Handle h = 0;
    EXPECT_EQ(m.RegOpenKey(RootKey::CurrentUser, u"Software\\Norva", kKeyRead, h), kOk);
    return h;
  }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.OpenKeyCount(); }
};

struct LibraryKind {
  using Owner = UniqueLibrary;
  static constexpr const char* kCloseOp = "FreeLibrary";
  static void Prepare(MemoryMachine& m) { m.RegisterLibrary(u"QV9REG.DLL", {}); }
  static Handle Open(MemoryMachine& m) {
    std::uint32_t error = 0;
    const Handle h = m.LoadLibrary(u"QV9REG.DLL", error);
    EXPECT_EQ(error, kOk);
    return h;
  }
  // A library's handle is the same on every load: the count is its references.
  static std::size_t OpenCount(const MemoryMachine& m) { return m.LibraryRefCount(u"QV9REG.DLL"); }
};

struct ProcessKind {
  using Owner = UniqueProcess;
  static constexpr const char* kCloseOp = "CloseHandle";
  static void Prepare(MemoryMachine& m) { m.SetProgramBehaviour(u"HANG.EXE", {0, -1, 0, false}); }
  static Handle Open(MemoryMachine& m) {
    Handle h = 0;
    EXPECT_EQ(m.CreateProcess(u"hang.exe", u"", 0, h), kOk);
    return h;
  }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.OpenProcessHandleCount(); }
};

struct EventSourceKind {
  using Owner = UniqueEventSource;
  static constexpr const char* kCloseOp = "DeregisterEventSource";
  static void Prepare(MemoryMachine&) {}
  static Handle Open(MemoryMachine& m) { return m.RegisterEventSource(u"QV9REG"); }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.OpenEventSourceCount(); }
};

struct MappingKind {
  using Owner = UniqueMapping;
  static constexpr const char* kCloseOp = "CloseHandle";
  static void Prepare(MemoryMachine&) {}
  static Handle Open(MemoryMachine& m) {
    Handle h = 0;
    bool existed = false;
    EXPECT_EQ(m.CreateSharedMemory(u"TarvexFGNODE", 12, h, existed), kOk);
    return h;
  }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.OpenMappingCount(); }
};

// Views of one block held by a mapping the fixture keeps open; each Open
// maps it once more.
struct ViewKind {
  using Owner = UniqueView;
  static constexpr const char* kCloseOp = "UnmapViewOfFile";
  static void Prepare(MemoryMachine& m) { m.HoldSharedMemory(u"TarvexFGNODE", 12); }
  static void* Open(MemoryMachine& m) {
    Handle mapping = 0;
    bool existed = false;
    EXPECT_EQ(m.CreateSharedMemory(u"TarvexFGNODE", 12, mapping, existed), kOk);
    void* view = m.MapSharedMemory(mapping, 12);
    m.CloseHandle(mapping);  // the view keeps the block
    m.ResetCounts();
    return view;
  }
  static std::size_t OpenCount(const MemoryMachine& m) { return m.MappedViewCount(); }
};

template <typename Kind>
class HandleOwnerTest : public ::testing::Test {
 protected:
  using Owner = typename Kind::Owner;
  void SetUp() override {
    Kind::Prepare(m);
    ASSERT_FALSE(HasFatalFailure());
    m.ResetCounts();
  }
  auto Open() {
    auto h = Kind::Open(m);
    EXPECT_NE(h, typename Owner::type{});
    m.ResetCounts();  // from here on only the closes are counted
    return h;
  }
  std::size_t Opened() const { return Kind::OpenCount(m); }
  std::uint64_t Closes() const { return m.Count(Kind::kCloseOp); }

  MemoryMachine m;
  ScopedPlatform use{m};
};

using Kinds = ::testing::Types<FileKind, KeyKind, LibraryKind, ProcessKind, EventSourceKind, MappingKind, ViewKind>;
TYPED_TEST_SUITE(HandleOwnerTest, Kinds);

TYPED_TEST(HandleOwnerTest, ClosesOnceWhenTheOwnerEnds) {
  {
    typename TestFixture::Owner owner(this->Open());
    EXPECT_TRUE(owner);
    EXPECT_EQ(this->Opened(), 1u);
  }
  EXPECT_EQ(this->Opened(), 0u);
  EXPECT_EQ(this->Closes(), 1u);

  // An empty owner closes nothing.
  { typename TestFixture::Owner empty; EXPECT_FALSE(empty); }
  EXPECT_EQ(this->Closes(), 1u);
}

TYPED_TEST(HandleOwnerTest, MovesCarryTheHandleAndCloseOnce) {
  using Owner = typename TestFixture::Owner;
  {
    Owner first(this->Open());
    const auto value = first.get();
    Owner second(std::move(first));
    EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): a moved-from owner is empty
    EXPECT_EQ(second.get(), value);
    Owner third;
    third = std::move(second);
    EXPECT_EQ(third.get(), value);
    Owner& alias = third;
    third = std::move(alias);  // itself: nothing changes
    EXPECT_EQ(third.get(), value);
    EXPECT_EQ(this->Closes(), 0u);
  }
  EXPECT_EQ(this->Opened(), 0u);
  EXPECT_EQ(this->Closes(), 1u);

  // Assigning over an owner closes what it held first.
  Owner a(this->Open());
  Owner b(this->Open());
  EXPECT_EQ(this->Opened(), 2u);
  a = std::move(b);
  EXPECT_EQ(this->Opened(), 1u);
  EXPECT_EQ(this->Closes(), 1u);
  swap(a, b);
  EXPECT_FALSE(a);
  EXPECT_TRUE(b);
}

TYPED_TEST(HandleOwnerTest, ResetReleaseAndPut) {
  using Owner = typename TestFixture::Owner;
  Owner owner(this->Open());
  const auto held = owner.get();
  owner.reset(held);  // the handle it holds: still open, still owned once
  EXPECT_EQ(this->Closes(), 0u);
  owner.reset();
  EXPECT_FALSE(owner);
  EXPECT_EQ(this->Closes(), 1u);
  owner.reset();  // empty: nothing to close
  EXPECT_EQ(this->Closes(), 1u);
  EXPECT_EQ(this->Opened(), 0u);

  // release gives the handle back unclosed; the caller owns it again.
  owner.reset(this->Open());
  const auto released = owner.release();
  EXPECT_FALSE(owner);
  EXPECT_EQ(this->Opened(), 1u);
  EXPECT_EQ(this->Closes(), 0u);
  Owner again(released);

  // put closes what is held and hands out empty storage for a new handle.
  auto& slot = again.put();
  EXPECT_EQ(this->Closes(), 1u);
  EXPECT_EQ(slot, typename Owner::type{});
  slot = this->Open();
  EXPECT_TRUE(again);
  again.reset();
  EXPECT_EQ(this->Opened(), 0u);
  EXPECT_EQ(this->Closes(), 1u);
}

// A handle is closed on the machine that issued it, even when another one
// is in use by the time its owner ends: the same handle number there names
// some other open file.
TEST(HandleOwner, ClosesOnTheIssuingMachine) {
  MemoryMachine issuer, other;
  for (MemoryMachine* m : {&issuer, &other}) ASSERT_TRUE(m->WriteTextFile(u"C:\\A.TXT", "a"));
  Handle fromOther = 0;
  ASSERT_EQ(other.OpenFile(u"C:\\A.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, fromOther), kOk);

  std::optional<UniqueFile> owner;
  {
    ScopedPlatform use(issuer);
    owner.emplace();
    ASSERT_EQ(issuer.OpenFile(u"C:\\A.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, owner->put()), kOk);
  }
  EXPECT_EQ(&owner->platform(), &issuer);
  {
    ScopedPlatform use(other);
    owner.reset();
  }
  EXPECT_EQ(issuer.OpenFileCount(), 0u);
  EXPECT_EQ(other.OpenFileCount(), 1u);
  other.CloseHandle(fromOther);

  // An owner given its machine uses that one whatever is current.
  Handle h = 0;
  ASSERT_EQ(issuer.OpenFile(u"C:\\A.TXT", kGenericRead, kShareRead, Disposition::OpenExisting, h), kOk);
  {
    ScopedPlatform use(other);
    UniqueFile given(issuer, h);
  }
  EXPECT_EQ(issuer.OpenFileCount(), 0u);
  EXPECT_EQ(other.Count("CloseHandle"), 1u);  // only the test's own close above
}

// The kinds that share CloseHandle are still different owners.
static_assert(!std::is_convertible_v<UniqueFile, UniqueProcess>);
static_assert(!std::is_assignable_v<UniqueFile&, UniqueMapping>);
static_assert(!std::is_copy_constructible_v<UniqueKey>);
static_assert(std::is_nothrow_move_constructible_v<UniqueLibrary>);

}  // namespace
}  // namespace qv::platform
