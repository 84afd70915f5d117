"""Static checks of the built Morlune.dll: what a loader and the host see in the file."""

import os
import sys
import unittest

import pefile

DLL_PATH = os.environ["MORLUNE_DLL"]
FORBIDDEN_PATHS = [p for p in os.environ.get("MORLUNE_BUILD_PATHS", "").split(os.pathsep) if p]

NEWS_URL = "http://www.morlune.example/rwplugins"
ABOUT_TEXT = (
    "Morlune 1.99+ Remote Wonder Plug-In (2008/05/01)\n"
    "\n"
    f"See {NEWS_URL}\n"
    "for news and latest version"
)

EXPECTED_EXPORTS = [
    (1, "AreYouInFocus"),
    (2, "Configure"),
    (3, "EnumerateProgrammableFunction"),
    (4, "HandleKey"),
    (5, "WhatKeysDoYouWant"),
]
EXPECTED_IMPORTS = {"USER32.dll": {"FindWindowA", "MessageBoxA", "keybd_event"}}

EXPECTED_STRINGS = {
    "Comments": f"See {NEWS_URL} for news and latest version",
    "CompanyName": "Morlune Plug-In Authors",
    "FileDescription": "Plugin Remote Wonder pour Morlune 1.99+ ",
    "FileVersion": "2.1",
    "InternalName": "",
    "LegalCopyright": "Copyright (C) 2008 Morlune Plug-In Authors",
    "LegalTrademarks": "",
    "OriginalFilename": "Morlune.dll",
    "PrivateBuild": "",
    "ProductName": "Morlune Plugin",
    "ProductVersion": "1.99+ (2008/05/01)",
    "SpecialBuild": "",
}

# The release's DLL is held to its size; a build of another toolchain to its own.
MAX_SIZE = int(os.environ["MORLUNE_DLL_MAX_SIZE"])


def export_table_problems(pe):
    """What is wrong with the export directory as a loader reads it: ordinals are the base plus
    the index in the function table, and names are looked up by binary search."""
    table = pe.DIRECTORY_ENTRY_EXPORT.struct
    problems = []
    if table.Base != 1:
        problems.append(f"ordinal base {table.Base}, not 1")
    if (table.NumberOfFunctions, table.NumberOfNames) != (len(EXPECTED_EXPORTS),) * 2:
        problems.append(f"{table.NumberOfFunctions} functions and {table.NumberOfNames} names, "
                        f"not {len(EXPECTED_EXPORTS)} of each")
    named = []
    for i in range(table.NumberOfNames):
        name = pe.get_string_at_rva(pe.get_dword_at_rva(table.AddressOfNames + 4 * i))
        index = pe.get_word_at_rva(table.AddressOfNameOrdinals + 2 * i)
        named.append((table.Base + index, name.decode()))
    if named != EXPECTED_EXPORTS:
        problems.append(f"names and ordinals in table order: {named}")
    if pe.DIRECTORY_ENTRY_EXPORT.name != b"Morlune.dll":
        problems.append(f"DLL name {pe.DIRECTORY_ENTRY_EXPORT.name}")
    for i in range(table.NumberOfFunctions):
        address = pe.get_dword_at_rva(table.AddressOfFunctions + 4 * i)
        section = pe.get_section_by_rva(address)
        if section is None or not section.IMAGE_SCN_MEM_EXECUTE:
            problems.append(f"function {table.Base + i} at {address:#x} is not code (a forwarder "
                            "or a gap)")
    return problems


def pointer_targets(pe):
    """The addresses, relative to the image, that the image's relocated pointers hold."""
    targets = set()
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]:
                targets.add(pe.get_dword_at_rva(entry.rva) - pe.OPTIONAL_HEADER.ImageBase)
    return targets


class MorluneDll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(DLL_PATH, "rb") as f:
            cls.data = f.read()
        cls.pe = pefile.PE(data=cls.data)

    def test_is_a_32_bit_dll_with_relocations(self):
        header = self.pe.FILE_HEADER
        self.assertEqual(header.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertTrue(header.IMAGE_FILE_DLL)
        self.assertTrue(header.IMAGE_FILE_32BIT_MACHINE)
        self.assertFalse(header.IMAGE_FILE_RELOCS_STRIPPED)
        reloc = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertGreater(reloc.Size, 0, "no base relocations: the DLL could not move")

    def test_entry_point_is_in_code(self):
        entry = self.pe.OPTIONAL_HEADER.AddressOfEntryPoint
        self.assertNotEqual(entry, 0, "entry address 0: the entry symbol was not found")
        section = self.pe.get_section_by_rva(entry)
        self.assertIsNotNone(section)
        self.assertTrue(section.IMAGE_SCN_MEM_EXECUTE, section.Name)

    def test_exports_by_name_and_ordinal_and_nothing_else(self):
        self.assertEqual(export_table_problems(self.pe), [])

    def test_a_wrong_export_table_is_caught(self):
        # What some linkers write (lld 14 and 15: ordinals from 0 and a sixth function), and a
        # name gone missing. The loader would map the names to other functions or none.
        cases = [
            ("Base", 0, "ordinal base 0"),
            ("NumberOfFunctions", 6, "6 functions"),
            ("NumberOfNames", 4, "4 names"),
        ]
        for field, value, problem in cases:
            with self.subTest(field=field, value=value):
                copy = pefile.PE(data=self.data)
                setattr(copy.DIRECTORY_ENTRY_EXPORT.struct, field, value)
                problems = export_table_problems(pefile.PE(data=copy.write()))
                self.assertTrue(any(problem in p for p in problems), problems)

    def test_imports_only_what_it_calls_from_user32(self):
        seen = {
            entry.dll.decode(): {imp.name.decode() for imp in entry.imports}
            for entry in self.pe.DIRECTORY_ENTRY_IMPORT
        }
        self.assertEqual(seen, EXPECTED_IMPORTS)

    def test_only_resource_is_the_version_block(self):
        resources = []
        for rtype in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for rid in rtype.directory.entries:
                for lang in rid.directory.entries:
                    resources.append((rtype.id, rid.id, lang.id))
        self.assertEqual(resources, [(pefile.RESOURCE_TYPE["RT_VERSION"], 1, 1033)])

    def test_version_fixed_part(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        seen = {
            "FileVersion": (fixed.FileVersionMS, fixed.FileVersionLS),
            "ProductVersion": (fixed.ProductVersionMS, fixed.ProductVersionLS),
            "FileFlagsMask": fixed.FileFlagsMask,
            "FileFlags": fixed.FileFlags,
            "FileOS": fixed.FileOS,
            "FileType": fixed.FileType,
            "FileSubtype": fixed.FileSubtype,
            "FileDate": (fixed.FileDateMS, fixed.FileDateLS),
        }
        self.assertEqual(seen, {
            "FileVersion": (0x00010002, 0x00010000),
            "ProductVersion": (0x00010002, 0x00010000),
            "FileFlagsMask": 0x3F,
            "FileFlags": 0,
            "FileOS": 0x00040004,
            "FileType": 2,
            "FileSubtype": 0,
            "FileDate": (0, 0),
        })

    def test_version_strings_and_translation(self):
        tables, translations = [], []
        for info in self.pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                tables.append((table.LangID.decode(),
                               {k.decode(): v.decode() for k, v in table.entries.items()}))
            for var in getattr(info, "Var", []):
                translations.append(var.entry)
        self.assertEqual(tables, [("040904b0", EXPECTED_STRINGS)])
        self.assertEqual(translations, [{b"Translation": "0x0409 0x04b0"}])

    def test_about_text_is_stored_exactly(self):
        # The whole string with its terminator, and a relocated pointer to its first byte: the
        # code passes this string, not a longer one that ends with it.
        offset = self.data.find(ABOUT_TEXT.encode() + b"\0")
        self.assertGreaterEqual(offset, 0, "the About text with its terminator is not in the file")
        self.assertIn(self.pe.get_rva_from_offset(offset), pointer_targets(self.pe))

    def test_hardening(self):
        opt = self.pe.OPTIONAL_HEADER
        self.assertTrue(opt.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE)
        self.assertTrue(opt.IMAGE_DLLCHARACTERISTICS_NX_COMPAT)
        self.assertTrue(opt.IMAGE_DLLCHARACTERISTICS_NO_SEH)
        for section in self.pe.sections:
            self.assertFalse(section.IMAGE_SCN_MEM_WRITE and section.IMAGE_SCN_MEM_EXECUTE,
                             f"{section.Name} is writable and executable")

    def test_loads_on_windows_2000_and_later(self):
        opt = self.pe.OPTIONAL_HEADER
        self.assertLessEqual((opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion),
                             (5, 0))
        self.assertLessEqual((opt.MajorSubsystemVersion, opt.MinorSubsystemVersion), (5, 0))

    def test_nothing_ties_it_to_the_build(self):
        self.assertEqual(self.pe.FILE_HEADER.TimeDateStamp, 0)
        self.assertEqual(self.pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp, 0)
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DEBUG"), "debug directory present")
        for path in FORBIDDEN_PATHS:
            self.assertNotIn(path.encode(), self.data)

    def test_size(self):
        self.assertLessEqual(len(self.data), MAX_SIZE)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
