// In-memory model of a configuration file: sections, their occurrences, keys
// and every written value with its line number.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <ostream>
#include <string>

namespace IniFile {

// Iterates one level of the model by following each element's next pointer.
template <class T>
class GenericIterator {
public:
    explicit GenericIterator(T* item = nullptr) : mItem(item) {}
    T& operator*() const { return *mItem; }
    T* operator->() const { return mItem; }
    GenericIterator& operator++() {
        if (mItem) mItem = mItem->mNext;
        return *this;
    }
    GenericIterator operator++(int) {
        GenericIterator old(*this);
        ++*this;
        return old;
    }
    bool operator!=(const GenericIterator& other) const { return mItem != other.mItem; }
    bool operator==(const GenericIterator& other) const { return mItem == other.mItem; }

private:
    T* mItem;
};

// The owning doubly linked list every level keeps of the level below.
template <class T>
struct OwnedList {
    T* first = nullptr;
    T* last = nullptr;

    T* Append(T* item, int32_t& count) {
        item->mPrev = last;
        item->mNext = nullptr;
        if (last)
            last->mNext = item;
        else
            first = item;
        last = item;
        ++count;
        return item;
    }
    void Clear(int32_t& count) {
        while (first) {
            T* next = first->mNext;
            delete first;
            first = next;
        }
        last = nullptr;
        count = 0;
    }
};

class SubKey {
public:
    SubKey(const std::string& value, int32_t line) : mValue(value), mLineNo(line) {}

    const std::string& GetStr() const { return mValue; }
    int32_t GetLineNo() const { return mLineNo; }

    bool GetBool(bool def) const;
    void SetBool(bool b);
    int GetInt(int def) const;
    void SetInt(int n);
    float GetFloat(float def) const;
    void SetFloat(float x);

    void Dump(std::ostream& os) const;

    std::string mValue;
    int32_t mLineNo;
    SubKey* mNext = nullptr;
    SubKey* mPrev = nullptr;
};

class Key {
public:
    using iterator = GenericIterator<SubKey>;

    explicit Key(const std::string& name) : mName(name) {}
    ~Key() { CleanSubKeys(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    SubKey* NewSubKey(const std::string& value, int32_t line);
    void CleanSubKeys() { mSubKeys.Clear(mSubKeyCount); }
    int32_t GetCount() const { return mSubKeyCount; }
    // Adds an empty value on line -1 when the key was never written.
    void CheckEmpty();
    SubKey* GetFirstSubKey();
    SubKey* GetLastSubKey();
    const std::string& GetStr() { return GetFirstSubKey()->GetStr(); }
    const std::string& GetName() const { return mName; }

    iterator begin() const { return iterator(mSubKeys.first); }
    iterator end() const { return iterator(); }
    void Dump(std::ostream& os) const;

    std::string mName;
    int32_t mSubKeyCount = 0;
    OwnedList<SubKey> mSubKeys;
    Key* mNext = nullptr;
    Key* mPrev = nullptr;
};

class SubSection {
public:
    using iterator = GenericIterator<Key>;

    explicit SubSection(int32_t line) : mLineNo(line) {}
    ~SubSection() { CleanKeys(); }
    SubSection(const SubSection&) = delete;
    SubSection& operator=(const SubSection&) = delete;

    // Looking a key up creates it empty when it is absent.
    Key& operator[](const std::string& name);
    Key* NewKey(const std::string& name);
    SubKey* NewSubKey(const std::string& name, const std::string& value, int32_t line);
    void CleanKeys();
    int32_t GetLineNo() const { return mLineNo; }
    int32_t GetKeyCount() const { return mKeyCount; }

    iterator begin() const { return iterator(mKeys.first); }
    iterator end() const { return iterator(); }
    void Dump(std::ostream& os) const;

    int32_t mLineNo;
    int32_t mKeyCount = 0;
    OwnedList<Key> mKeys;
    std::map<std::string, Key*> mKeyMap;
    SubSection* mNext = nullptr;
    SubSection* mPrev = nullptr;
};

class Section {
public:
    using iterator = GenericIterator<SubSection>;

    explicit Section(const std::string& name) : mName(name) {}
    ~Section() { CleanSubSections(); }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    SubSection* NewSubSection(int32_t line);
    void CleanSubSections() { mSubSections.Clear(mSubSectionCount); }
    // Adds an occurrence on line -1 when there is none, so a reader always gets one.
    void CheckEmpty();
    const std::string& GetName() const { return mName; }
    int32_t GetCount() const { return mSubSectionCount; }

    iterator begin() const { return iterator(mSubSections.first); }
    iterator end() const { return iterator(); }
    void Dump(std::ostream& os) const;

    std::string mName;
    int32_t mSubSectionCount = 0;
    OwnedList<SubSection> mSubSections;
    Section* mNext = nullptr;
    Section* mPrev = nullptr;
};

class File {
public:
    using iterator = GenericIterator<Section>;

    File() = default;
    explicit File(const std::string& path) { Open(path); }
    // Also frees what lookups added to a File that was never opened.
    ~File() {
        Close();
        CleanSections();
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::string& path);
    bool IntOpen();
    void IntOpenStream(std::istream& in);
    void Close();
    void Sync() {}

    // Looking a section up creates it empty when it is absent.
    Section& operator[](const std::string& name);
    Section* NewSection(const std::string& name);
    SubSection* NewSubSection(const std::string& name, int32_t line);
    void CleanSections();

    bool IsOpened() const { return mOpened; }
    int32_t GetSectionCount() const { return mSectionCount; }
    const std::string& GetFileName() const { return mFileName; }

    iterator begin() const { return iterator(mSections.first); }
    iterator end() const { return iterator(); }
    void Dump(std::ostream& os) const;

private:
    friend std::istream& operator>>(std::istream& in, File& file);

    std::string mFileName;
    bool mOpened = false;
    int32_t mSectionCount = 0;
    OwnedList<Section> mSections;
    std::map<std::string, Section*> mSectionMap;
};

std::istream& operator>>(std::istream& in, File& file);

}  // namespace IniFile
