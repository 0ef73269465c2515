"""End-to-end cases for Setup.exe: what a person sees for a given medium.

Each Case stages a medium folder with Setup.exe and the files given here, runs
it, answers its message boxes and operates its dialog from `script`, and
expects `boxes` (in order), the dialog's `views` and `exit_code`. See
e2e_model.py for every field. This file holds the configuration-reading
cases and gathers the others:
  cases_checks.py      installed checks (files with version resources, registry values)
  cases_components.py  component execution, exit codes, questions, packages, documents
  cases_downloads.py   downloads from a loopback HTTP server
  cases_dialog.py      the installer dialog, its check list and the interactive run
  cases_deployment.py  the log file, the detailed exit statuses, unattended runs, the command line
  cases_progress.py    an interactive run that shows its progress, and its download window
"""

import cases_checks
import cases_components
import cases_deployment
import cases_dialog
import cases_downloads
import cases_progress
from e2e_model import DIR, Box, Case, Row, Sparse, View, error_box

# The closing box of every failed configuration read.
FAILED_TO_READ = error_box("Failed to read configuration file.")
PARSE_FAILED = error_box("Invalid configuration file, failed to parse XML elements.")
WRONG_ROOT = error_box("Invalid configuration file, node name not supported, expected 'configurations'.")
LOAD_FAILED = error_box("Error loading configuration file")


def config(components: str = "", attributes: str = 'type="install" lcid=""') -> str:
    """A well-formed setup.xml with one configuration holding these components."""
    return ('<?xml version="1.0"?>\n'
            '<configurations>\n'
            '  <configuration %s>\n'
            '    <components>\n'
            '      %s\n'
            '    </components>\n'
            '  </configuration>\n'
            '</configurations>\n' % (attributes, components))


def setup_xml(content) -> dict:
    return {"setup.xml": content}


UTF8_COMPARISON_COMPONENT = (
    '<component type="cmd" command="#APPPATH\\nothing.exe">'
    '<installedcheck type="check_file" filename="#SYSTEMPATH\\kernel32.dll" fileversion="1.0"'
    ' comparison="\u00e9 \u00fc \u20ac"/>'
    '</component>')
UTF8_COMPARISON_BODY = (
    '<configurations>\n'
    '  <configuration type="install" lcid="">\n'
    '    <components>%s</components>\n'
    '  </configuration>\n'
    '</configurations>\n' % UTF8_COMPARISON_COMPONENT)
# An error whose caption is the offending value: it shows that non-ASCII
# values of a UTF-8 file reach the screen intact. The component is missing, so
# the dialog shows; its installed check runs when the configuration is read
# and again when the check list is filled, so the box comes twice. Exit
# leaves the dialog.
UTF8_COMPARISON_BOX = Box(text="Invalid comparison type, expected match or version.",
                          caption="\u00e9 \u00fc \u20ac", owner="none")
UTF8_SCRIPT = ["ok", "ok", "dialog: exit"]
# Its one row: the component has no description; missing and optional, so
# checked and open.
UTF8_VIEWS = [View(rows=(Row("", checked=True, locked=False),), label="shown")]

CASES = [
    # Without setup.xml the embedded configuration is read; on a default
    # prefix it has nothing to offer yet.
    Case("no_setup_xml_uses_embedded_configuration"),

    Case("empty_setup_xml", files=setup_xml(""), boxes=[PARSE_FAILED, FAILED_TO_READ]),
    Case("truncated_setup_xml",
         files=setup_xml('<?xml version="1.0"?><configurations><configuration type="install"'),
         boxes=[PARSE_FAILED, FAILED_TO_READ]),
    Case("setup_xml_is_plain_text",
         files=setup_xml("This is not a configuration.\nJust some text.\n"),
         boxes=[PARSE_FAILED, FAILED_TO_READ]),
    Case("setup_xml_is_a_folder", files={"setup.xml": DIR}, boxes=[PARSE_FAILED, FAILED_TO_READ]),
    # A file far beyond the size limit is refused by its size, unread: read
    # first, its 2 GB would not fit into memory ("Error loading configuration
    # file" instead).
    Case("setup_xml_of_two_gigabytes", files={"setup.xml": Sparse(0x7FFFFFFF)}, boxes=[PARSE_FAILED, FAILED_TO_READ]),

    Case("wrong_root_node", files=setup_xml('<?xml version="1.0"?>\n<config/>\n'),
         boxes=[WRONG_ROOT, FAILED_TO_READ]),

    # Wine's system language is 1033, so a German-only configuration accepts nothing.
    Case("no_configuration_accepts_this_system",
         files=setup_xml('<configurations><configuration lcid="1031" type="install"/></configurations>'),
         boxes=[error_box("System not supported or invalid configuration, no valid 'configuration' node found."),
                FAILED_TO_READ]),

    Case("configuration_type_other_than_install_first",
         files=setup_xml('<configurations>'
                         '<configuration type="uninstall"/>'
                         '<configuration type="install"/>'
                         '</configurations>'),
         boxes=[error_box("Invalid configuration file, configuration type not supported."), FAILED_TO_READ]),

    # Component types are case-sensitive.
    Case("component_type_in_capitals",
         files=setup_xml(config('<component type="MSI" package="#APPPATH\\product.msi"/>')),
         boxes=[error_box("Invalid configuration file, component type not supported"), FAILED_TO_READ]),

    Case("unsupported_installed_check_type",
         files=setup_xml(config('<component type="cmd" command="#APPPATH\\x.exe">'
                                '<installedcheck type="check_something"/>'
                                '</component>')),
         boxes=[error_box("Invalid configuration file, installed check type not supported"), FAILED_TO_READ]),

    Case("empty_downloads_node",
         files=setup_xml(config('<component type="cmd" command="x.exe">'
                                '<downloaddialog><downloads/></downloaddialog>'
                                '</component>')),
         boxes=[error_box("No download components found. downloads node is empty."), LOAD_FAILED,
                FAILED_TO_READ]),

    Case("os_filter_not_a_number",
         files=setup_xml(config('<component type="cmd" command="#APPPATH\\x.exe" os_filter_greater="abc"/>')),
         boxes=[LOAD_FAILED, FAILED_TO_READ]),

    # A medium in a folder with a non-ASCII name: the wrong-root box shows
    # that its setup.xml was found and read.
    Case("medium_in_cyrillic_folder", medium="\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430",  # Установка
         files=setup_xml("<config/>"), boxes=[WRONG_ROOT, FAILED_TO_READ]),
    Case("medium_in_cjk_folder", medium="\u5b89\u88c5\u7a0b\u5e8f",  # 安装程序
         files=setup_xml("<config/>"), boxes=[WRONG_ROOT, FAILED_TO_READ]),

    Case("utf8_setup_xml_with_byte_order_mark",
         files=setup_xml(b"\xef\xbb\xbf" + ('<?xml version="1.0"?>\n' + UTF8_COMPARISON_BODY).encode("utf-8")),
         script=UTF8_SCRIPT, boxes=[UTF8_COMPARISON_BOX] * 2, views=UTF8_VIEWS),
    Case("utf8_setup_xml_declared_without_byte_order_mark",
         files=setup_xml('<?xml version="1.0" encoding="UTF-8"?>\n' + UTF8_COMPARISON_BODY),
         script=UTF8_SCRIPT, boxes=[UTF8_COMPARISON_BOX] * 2, views=UTF8_VIEWS),
]

CASES += (cases_checks.CASES + cases_components.CASES + cases_downloads.CASES + cases_dialog.CASES +
          cases_deployment.CASES + cases_progress.CASES)
