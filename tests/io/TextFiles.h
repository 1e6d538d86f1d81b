// Text files for the reader and writer tests (and the headers they share): a temporary file
// opened for reading and writing, the bytes a writer leaves, golden files, what each text reader
// makes of given bytes, the number texts of a scanned line, files of lines in every line-end
// form, and the locales every text format must read and write alike.
#pragma once

#include "support/Dense.h"
#include "support/GlobalState.h"
#include "support/Problems.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace tarvel_test
{

// A file holding the given bytes, open for reading and writing at position 0.
class TextFile
{
public:
    explicit TextFile(const std::string& bytes = "") : m_name(m_dir.file("text.txt"))
    {
        write_bytes(m_name, bytes);
        m_file.Open(m_name.c_str(), CFile::modeReadWrite);
    }
    CFile& file() { return m_file; }
    ULONGLONG position() const { return m_file.GetPosition(); }
    std::string bytes() { return read_bytes(m_name); }
    // The bytes after the file's position: line ends as "|", a lone "\r" and NUL bytes as "\r"
    // and "\0".
    std::string rest()
    {
        const std::string all = bytes();
        std::string s;
        for (std::size_t k = std::size_t(position()); k < all.size(); ++k)
        {
            if (all.compare(k, 2, "\r\n") == 0) ++k;
            const char c = all[k];
            s += c == '\n' ? "|" : c == '\r' ? "\\r" : c == '\0' ? "\\0" : std::string(1, c);
        }
        return s;
    }

private:
    TempDir m_dir;
    std::string m_name;
    CFile m_file;
};

// The bytes that write(CFile*) leaves in a fresh file.
template <class Write> std::string written(Write write)
{
    TextFile f;
    write(&f.file());
    return f.bytes();
}

// Compares bytes with the golden file tests/data/<name> byte for byte. With TARVEL_UPDATE_GOLDEN
// set in the environment the file is rewritten from bytes first (review its diff before
// committing it).
inline void expect_golden(const std::string& name, const std::string& bytes)
{
    const std::string path = std::string(TARVEL_TEST_DATA_DIR) + "/" + name;
    if (std::getenv("TARVEL_UPDATE_GOLDEN")) write_bytes(path, bytes);
    EXPECT_EQ(read_bytes(path), bytes) << name;
}

// What a text reader makes of the file from its position: "v" CVector::ReadASCII into a vector
// of three 8s, "m" the plain and "s:START:END:COMMENT" the sectioned CMatrix::ReadASCII ("s"
// alone: STIFF, END, !) into a 2 x 2 matrix of 8s (Text), "p" CSparseMatrix::ReadASCII
// (Structure).
inline std::string read_with(const std::string& reader, CFile& file)
{
    CVector v(3, true, 8.0);
    CMatrix m(2, 2, true, 8.0);
    CSparseMatrix s;
    std::vector<std::string> words = {"s", "STIFF", "END", "!"};  // s:START:END:COMMENT
    std::istringstream given(reader.size() > 1 ? reader : "");
    if (reader.size() > 1) words.clear();
    for (std::string w; std::getline(given, w, ':');) words.push_back(w);
    words.resize(4);
    if (reader == "v") v.ReadASCII(&file);
    if (reader == "m") m.ReadASCII(&file);
    if (reader[0] == 's') m.ReadASCII(&file, words[1].c_str(), words[2].c_str(), words[3].c_str());
    if (reader == "p") s.ReadASCII(&file);
    return reader == "v" ? Text(v) : reader == "p" ? Structure(s) : Text(m);
}

// A sparse matrix that records every Add(i, j, v) a reader hands it, then adds as the plain one.
class RecordingSparse : public CSparseMatrix
{
public:
    void Add(int i, int j, double v) override
    {
        calls +=
            (calls.empty() ? "" : " ") + std::to_string(i) + "," + std::to_string(j) + "=" + G17(v);
        CSparseMatrix::Add(i, j, v);
    }
    using CSparseMatrix::Add;
    std::string calls;
};

// The number texts ReadNumber gives for line, scanned from 0, joined by "|".
inline std::string scan(const std::string& text)
{
    CString line(text), number;
    std::string numbers;
    for (int pos = 0; CVirtMat::ReadNumber(pos, line, number), !number.IsEmpty();)
        numbers += (numbers.empty() ? "" : "|") + number.str();
    return numbers;
}

// The lines of text (separated by "|"; "" for none), each followed by the next of ends (taken
// in turn); starts[k], when asked, receives where line k begins (and then where the file ends).
inline std::string with_line_ends(const std::string& text, const std::vector<std::string>& ends,
                                  std::vector<std::size_t>* starts = nullptr)
{
    std::string s;
    for (std::size_t k = 0, from = 0; !text.empty() && from <= text.size(); ++k)
    {
        const std::size_t bar = std::min(text.find('|', from), text.size());
        if (starts != nullptr) starts->push_back(s.size());
        s += text.substr(from, bar - from) + ends[k % ends.size()];
        from = bar + 1;
    }
    if (starts != nullptr) starts->push_back(s.size());
    return s;
}

// The bytes a case of a table stands for, in one line-end form: "|" the next of ends, "\r", "\n"
// and "\0" those characters, "{N*c}" N copies of the character c.
inline std::string table_bytes(const std::string& text, const std::vector<std::string>& ends)
{
    std::string s;
    for (std::size_t k = 0, line = 0; k < text.size(); ++k)
        if (text[k] == '|')
            s += ends[line++ % ends.size()];
        else if (text[k] == '\\' && k + 1 < text.size())
        {
            const char e = text[++k];
            s += e == 'r' ? '\r' : e == 'n' ? '\n' : e == '0' ? '\0' : e;
        }
        else if (text[k] == '{')
        {
            const std::size_t star = text.find('*', k);
            s.append(std::stoul(text.substr(k + 1)), text[star + 1]);
            k = text.find('}', star + 2);
        }
        else
            s += text[k];
    return s;
}

// The line-end forms every search and reader must read alike: CR LF, LF, and the two in turn.
inline const std::vector<std::vector<std::string>> kLineEndForms = {
    {"\r\n"}, {"\n"}, {"\n", "\r\n"}};

// Runs body under the C locale, then under a comma-decimal one (setlocale and the global C++
// locale both switched) when the system has one: the text formats write the same bytes and read
// the same values under both. scripts/test.sh makes a German locale when the system lacks one
// and sets TARVEL_TEST_COMMA_LOCALE, which turns a missing comma locale into a failure.
inline void under_each_locale(const std::function<void()>& body)
{
    const char* wanted = std::getenv("TARVEL_TEST_COMMA_LOCALE");
    std::string comma;
    for (const char* name : {wanted ? wanted : "", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (comma.empty() && *name && std::setlocale(LC_ALL, name) &&
            *std::localeconv()->decimal_point == ',')
            comma = name;
    EXPECT_TRUE(!comma.empty() || !wanted) << "the comma locale cannot be set";
    for (const std::string& name : {std::string("C"), comma})
        if (!name.empty())
        {
            SCOPED_TRACE("locale " + name);
            std::locale::global(std::locale(name));  // sets the C locale too
            body();
        }
    std::locale::global(std::locale::classic());
}

}  // namespace tarvel_test
