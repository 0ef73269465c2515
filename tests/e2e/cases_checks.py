"""Installed checks under Wine: check_file against files with real version
resources (and one without), check_registry_value against values set with
`wine reg add`. Each component is a stub that runs only when its check says
"not installed": a silent run executes exactly the selected components, so
`ran`/`not_ran` show each check's answer.
"""

from case_helpers import (BAD_COMPARISON, BAD_DWORD, BAD_REGISTRY_TYPE, attrs, check_file, check_registry, cmd,
                          faulty_value, silent)
from e2e_model import DIR, Case, RegValue

# The versioned files (tests/e2e/CMakeLists.txt): file versions 2.0.2600.0,
# 1.1.0.0 and 10.0.0.1; their product version (9.8.7.6) and version text
# differ on purpose. The fourth has no version resource at all.
VERSIONED = {
    "files/v2.dll": "e2e_ver_2_0_2600_0.dll",
    "files/v11.dll": "e2e_ver_1_1_0_0.dll",
    "files/v10.dll": "e2e_ver_10_0_0_1.dll",
    "files/plain.dll": "e2e_unversioned.dll",
}


def guarded(stub: str, *checks: str) -> str:
    """A component that runs the stub unless its checks say installed."""
    return cmd(stub, stub + ".exe", body="".join(checks))


def f(name: str) -> str:
    return "#APPPATH\\files\\" + name


# name of the stub -> (check, installed?)
VERSION_RULES = [
    ("a_v2_at_least_2", check_file(f("v2.dll"), "2.0.0.0", "version"), True),
    ("b_v11_at_least_2", check_file(f("v11.dll"), "2.0.0.0", "version"), False),
    ("c_unversioned_at_least_2", check_file(f("plain.dll"), "2.0.0.0", "version"), False),
    # Numbers, not text: 10 is newer than 2.
    ("d_v10_at_least_2", check_file(f("v10.dll"), "2.0.0.0", "version"), True),
    ("e_v2_at_least_2_0_2601", check_file(f("v2.dll"), "2.0.2601.0", "version"), False),
    ("f_v2_at_least_itself", check_file(f("v2.dll"), "2.0.2600.0", "version"), True),
    ("g_v11_at_least_1_0_9", check_file(f("v11.dll"), "1.0.9", "version"), True),
    ("h_system_kernel32", check_file("#SYSTEMPATH\\kernel32.dll", "1.0.0.0", "version"), True),
]

MATCH_AND_PRESENCE_RULES = [
    ("a_v2_matches_exactly", check_file(f("v2.dll"), "2.0.2600.0", "match"), True),
    ("b_v2_match_is_by_text", check_file(f("v2.dll"), "2.0.2600", "match"), False),
    # Neither the product version nor the version text is the file version.
    ("c_v2_product_version_is_not_it", check_file(f("v2.dll"), "9.8.7.6", "match"), False),
    ("d_unversioned_is_0_0_0_0", check_file(f("plain.dll"), "0.0.0.0", "match"), True),
    ("e_presence_alone", check_file(f("plain.dll")), True),
    ("f_presence_ignores_comparison", check_file(f("v11.dll"), "", "exists"), True),
    ("g_missing_file", check_file(f("none.dll")), False),
    ("h_missing_file_with_version", check_file(f("none.dll"), "1.0.0.0", "version"), False),
    ("i_folder_counts", check_file("#APPPATH\\files\\folder"), True),
    # Every check must say installed; the first false one decides.
    ("j_two_checks_both_true", check_file(f("v2.dll")) + check_file(f("v11.dll")), True),
    ("k_two_checks_second_false", check_file(f("v2.dll")) + check_file(f("none.dll")), False),
]

REG = "SOFTWARE\\YolvaneTest\\@@CASE@@"
HKLM_REG = "HKLM\\" + REG

DWORD_RULES = [
    ("a_5_at_least_1", check_registry(REG, "five", "REG_DWORD", "1", "version"), True),
    ("b_0_at_least_1", check_registry(REG, "zero", "REG_DWORD", "1", "version"), False),
    ("c_ffffffff_at_least_1", check_registry(REG, "all", "REG_DWORD", "1", "version"), True),
    # Unsigned: -1 is 0xFFFFFFFF, met only by that.
    ("d_5_at_least_minus_1", check_registry(REG, "five", "REG_DWORD", "-1", "version"), False),
    ("e_ffffffff_at_least_minus_1", check_registry(REG, "all", "REG_DWORD", "-1", "version"), True),
    ("f_5_matches_5", check_registry(REG, "five", "REG_DWORD", "5", "match"), True),
    ("g_5_matches_6", check_registry(REG, "five", "REG_DWORD", "6", "match"), False),
    ("h_number_with_blanks_and_tail", check_registry(REG, "five", "REG_DWORD", "  5 and more", "match"), True),
    ("i_exists", check_registry(REG, "five", "REG_DWORD", "7", "exists"), True),
    ("j_empty_comparison", check_registry(REG, "five", "REG_DWORD", "1", ""), True),
    ("k_missing_value", check_registry(REG, "nothing", "REG_DWORD", "1", "exists"), False),
    ("l_missing_key", check_registry(REG + "\\none", "five", "REG_DWORD", "1", "exists"), False),
    # A text value is longer than four bytes: it does not fit and counts as missing.
    ("m_text_value_read_as_dword", check_registry(REG, "ver", "REG_DWORD", "1", "exists"), False),
    # Another root than HKLM cannot be named: the path is under HKLM.
    ("n_hkcu_path_is_not_found", check_registry("Software\\YolvaneTestUser", "five", "REG_DWORD", "1",
                                                "exists"), False),
]

STRING_RULES = [
    ("a_matches", check_registry(REG, "ver", "REG_SZ", "2.5.0.0", "match"), True),
    ("b_match_is_exact", check_registry(REG, "ver", "REG_SZ", "2.5", "match"), False),
    ("c_match_is_case_sensitive", check_registry(REG, "word", "REG_SZ", "hello", "match"), False),
    ("d_stored_at_least_2", check_registry(REG, "ver", "REG_SZ", "2.0.0.0", "version"), True),
    ("e_stored_below_2_10", check_registry(REG, "ver", "REG_SZ", "2.10.0.0", "version"), False),
    ("f_stored_at_least_itself", check_registry(REG, "ver", "REG_SZ", "2.5.0.0", "version"), True),
    ("g_missing_value", check_registry(REG, "nothing", "REG_SZ", "x", "match"), False),
    ("h_empty_type_key_alone", check_registry(REG, "nothing", ""), True),
    ("i_empty_type_missing_key", check_registry(REG + "\\none", "", ""), False),
    ("j_default_value_by_empty_name", check_registry(REG, "", "REG_SZ", "standard", "match"), True),
]

REGISTRY_VALUES = [
    RegValue(HKLM_REG, "five", "5", "REG_DWORD"),
    RegValue(HKLM_REG, "zero", "0", "REG_DWORD"),
    RegValue(HKLM_REG, "all", "4294967295", "REG_DWORD"),
    RegValue(HKLM_REG, "ver", "2.5.0.0"),
    RegValue(HKLM_REG, "word", "Hello"),
    RegValue(HKLM_REG, "", "standard"),
    # In HKCU only: a check cannot reach it.
    RegValue("HKCU\\Software\\YolvaneTestUser", "five", "5", "REG_DWORD"),
]

# A value that a 64-bit product writes: in the 64-bit view only, where the
# 32-bit Setup.exe looks only when the check says view="64".
NATIVE_VALUES = [RegValue(HKLM_REG, "ver", "3.0", view="64")]


def view_check(view: str) -> str:
    return '<installedcheck %s/>' % attrs(dict(type="check_registry_value", path=REG, fieldname="ver",
                                               fieldtype="REG_SZ", fieldvalue="3.0", comparison="match", view=view))


VIEW_RULES = [
    ("a_view_64_finds_it", view_check("64"), True),
    ("b_without_view_it_is_missing", check_registry(REG, "ver", "REG_SZ", "3.0", "match"), False),
]


def rules_case(name: str, rules, **extra) -> Case:
    comps = [guarded(stub, check) for stub, check, _ in rules]
    return Case(name, files=dict(silent(*comps), **extra.pop("files", {})),
                stubs=[stub + ".exe" for stub, _, _ in rules],
                ran=[stub + ".exe" for stub, _, installed in rules if not installed],
                not_ran=[stub + ".exe" for stub, _, installed in rules if installed],
                **extra)


CASES = [
    rules_case("check_file_version_comparison", VERSION_RULES, from_bin=VERSIONED),
    rules_case("check_file_match_and_presence", MATCH_AND_PRESENCE_RULES, from_bin=VERSIONED,
               files={"files/folder": DIR}),
    rules_case("check_registry_dword", DWORD_RULES, registry=REGISTRY_VALUES),
    rules_case("check_registry_string", STRING_RULES, registry=REGISTRY_VALUES),
    rules_case("check_registry_64bit_view", VIEW_RULES, registry=NATIVE_VALUES),

    # Faulty values: the box's caption is the faulty value; the check then
    # says "not installed". A check after a false one is never asked.
    Case("check_faulty_values_show_their_boxes",
         files=silent(
             guarded("a_file_comparison_exists", check_file(f("v2.dll"), "2.0.0.0", "exists")),
             guarded("b_file_comparison_empty", check_file(f("v2.dll"), "2.0.0.0", "")),
             guarded("c_string_comparison_exists", check_registry(REG, "ver", "REG_SZ", "2.5.0.0", "exists")),
             guarded("d_type_in_lower_case", check_registry(REG, "ver", "reg_sz", "2.5.0.0", "match")),
             guarded("e_dword_value_not_a_number", check_registry(REG, "five", "REG_DWORD", "abc", "match")),
             guarded("f_dword_exists_needs_a_number", check_registry(REG, "five", "REG_DWORD", "", "exists")),
             guarded("g_dword_unknown_comparison", check_registry(REG, "five", "REG_DWORD", "1", "bigger")),
             # No box: the value is missing, so the number is never looked at.
             guarded("h_dword_missing_value_silent", check_registry(REG, "nothing", "REG_DWORD", "abc", "match")),
             # No box: the first check is false, the faulty second is not asked.
             guarded("i_short_circuit", check_file(f("none.dll")) + check_file(f("v2.dll"), "2.0.0.0", "exists")),
         ),
         stubs=["a_file_comparison_exists.exe", "b_file_comparison_empty.exe", "c_string_comparison_exists.exe",
                "d_type_in_lower_case.exe", "e_dword_value_not_a_number.exe", "f_dword_exists_needs_a_number.exe",
                "g_dword_unknown_comparison.exe", "h_dword_missing_value_silent.exe", "i_short_circuit.exe"],
         from_bin=VERSIONED, registry=REGISTRY_VALUES,
         script=["ok"] * 7,
         boxes=[faulty_value(BAD_COMPARISON, "exists"),
                faulty_value(BAD_COMPARISON, ""),
                faulty_value(BAD_COMPARISON, "exists"),
                faulty_value(BAD_REGISTRY_TYPE, "reg_sz"),
                faulty_value(BAD_DWORD, "abc"),
                faulty_value(BAD_DWORD, ""),
                faulty_value(BAD_COMPARISON, "bigger")],
         ran=["a_file_comparison_exists.exe", "b_file_comparison_empty.exe", "c_string_comparison_exists.exe",
              "d_type_in_lower_case.exe", "e_dword_value_not_a_number.exe", "f_dword_exists_needs_a_number.exe",
              "g_dword_unknown_comparison.exe", "h_dword_missing_value_silent.exe", "i_short_circuit.exe"]),
]
