#!/usr/bin/env python3
"""Fails when a text that the sources hand to the translator has no finished German entry.

lupdate collects every tr(), translate(), QT_TR_NOOP and .ui text of the product folders into a
temporary catalogue; each (context, source) pair must then have a finished, non-empty translation in
one of res/translations/*_de.ts. The few texts that stay English on purpose are listed below; each
must still appear in the sources and must not reach the translator, so the list cannot go stale.
The German of the password dialogs is fixed word for word and checked as such. A German text keeps
the placeholders of its source (%1, %n, ${APP_NAME}, ...), which the program fills in.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PRODUCT_FOLDERS = ["app", "core", "db", "net", "passwords", "platform", "sync", "ui"]

# Texts shown in English in both languages.
KEPT_ENGLISH = [
    "%1 lines",
    "Sync Canceled",
    "Failed to retrieve passwords!",
    "Unable to save password",
    "Unable to edit password",
    "syncing ...",
]

# German that must stay exactly as it is (context, source, German).
EXACT = [
    ("CreateViewEditPasswordDialog", "Add password", "Neues Passwort"),
    ("CreateViewEditPasswordDialog", "Close", "Schließen"),
    ("CreateViewEditPasswordDialog", "Comment", "Bemerkung"),
    ("CreateViewEditPasswordDialog", "Copied to clipboard", "In die Zwischenablage kopiert"),
    ("CreateViewEditPasswordDialog", "Copy", "Kopieren"),
    ("CreateViewEditPasswordDialog", "Edit", "Bearbeiten"),
    ("CreateViewEditPasswordDialog", "Edit password", "Passwort bearbeiten"),
    ("CreateViewEditPasswordDialog", "Invalid Data", "Ungültige Daten"),
    ("CreateViewEditPasswordDialog", "Open", "Öffnen"),
    ("CreateViewEditPasswordDialog", "Opening Web Address in browser", "Web-Adresse im Browser geöffnet"),
    ("CreateViewEditPasswordDialog", "Password", "Passwort"),
    ("CreateViewEditPasswordDialog", "Password Entry", "Passwort Eintrag"),
    ("CreateViewEditPasswordDialog", "Save", "Speichern"),
    ("CreateViewEditPasswordDialog", "Show", "Zeigen"),
    ("CreateViewEditPasswordDialog", "Suggest", "Vorschlagen"),
    ("CreateViewEditPasswordDialog", "The Password field is empty!", "Das Passwort-Feld ist leer!"),
    ("CreateViewEditPasswordDialog", "The Username field is empty!", "Das Benutzername-Feld ist leer!"),
    ("CreateViewEditPasswordDialog", "The Web Address field is empty!", "Das Web-Adresse-Feld ist leer!"),
    ("CreateViewEditPasswordDialog", "Title", "Titel"),
    ("CreateViewEditPasswordDialog", "Unable to copy password", "Kopieren von Passwort ist nicht möglich"),
    ("CreateViewEditPasswordDialog", "Unable to copy username", "Kopieren von Benutzername ist nicht möglich"),
    ("CreateViewEditPasswordDialog", "Unable to open address", "Die Web-Adresse kann nicht geöffnet werden"),
    ("CreateViewEditPasswordDialog", "Username", "Benutzername"),
    ("CreateViewEditPasswordDialog", "Web Address", "Web-Adresse"),
    ("CreateViewEditPasswordDialog", "You entered invalid data", "Sie haben ungültige Daten eingegeben"),
    ("CreateViewEditPasswordDialog", "[errortext]", "[errortext]"),
    ("PasswordController", "Unable to open address", "Die Web-Adresse kann nicht geöffnet werden"),
    ("SuggestPasswordDialog", "Cancel", "Abbrechen"),
    ("SuggestPasswordDialog", "Generate Password", "Passwort generieren"),
    ("SuggestPasswordDialog", "Length", "Länge"),
    ("SuggestPasswordDialog", "Lowercase only", "Nur Kleinbuchstaben"),
    ("SuggestPasswordDialog", "Memorizable Password", "Einprägsames Passwort"),
    ("SuggestPasswordDialog", "Random Password", "Zufälliges Passwort"),
    ("SuggestPasswordDialog", "Refresh", "Aktualisieren"),
    ("SuggestPasswordDialog", "Use numbers", "Mit Zahlen"),
    ("SuggestPasswordDialog", "Use special characters", "Mit Sonderzeichen"),
    ("QuotaExceededDialog", "${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/", "${APP_BASE_URL}/de/faq/acct-mgmt/upgrade/"),
    ("UpgradeClientDialog", "${APP_BASE_URL}/en/sync", "${APP_BASE_URL}/de/sync"),
]


# What QString::arg, the plural forms and the branding translator fill in.
MARKER = re.compile(r"%L?\d{1,2}|%n|\$\{[A-Z_]+\}")


def markers(text):
    """The text's placeholders, sorted; a German page's address (${URL_HELP_DE}) stands for its own."""
    return sorted(re.sub(r"_DE\}$", "}", m) for m in MARKER.findall(text or ""))


def messages(path):
    """Yields (context, source, translation element) of a .ts file."""
    root = ET.parse(path).getroot()
    for context in root.iter("context"):
        name = context.findtext("name") or ""
        for message in context.iter("message"):
            yield name, message.findtext("source") or "", message.find("translation")


def german_forms(translation):
    """The German text, or each of its plural forms."""
    forms = translation.findall("numerusform")
    return [f.text or "" for f in forms] if forms else [translation.text or ""]


def finished(translation):
    if translation is None or translation.get("type") in ("unfinished", "obsolete", "vanished"):
        return False
    forms = translation.findall("numerusform")
    if forms:
        return all((f.text or "").strip() for f in forms)
    return bool((translation.text or "").strip())


def collect(lupdate, source_dir, out_ts):
    folders = [os.path.join(source_dir, f) for f in PRODUCT_FOLDERS]
    subprocess.run([lupdate, "-silent", "-I", source_dir, "-locations", "none", "-no-obsolete",
                    "-extensions", "cpp,h,ui", *folders, "-ts", out_ts],
                   check=True, stdout=subprocess.DEVNULL)


def source_texts(source_dir):
    """The concatenated text of the product's sources, for the kept-English look-up."""
    parts = []
    for folder in PRODUCT_FOLDERS:
        for base, _, files in os.walk(os.path.join(source_dir, folder)):
            for name in files:
                if name.endswith((".cpp", ".h", ".ui")):
                    with open(os.path.join(base, name), encoding="utf-8", errors="replace") as f:
                        parts.append(f.read())
    return "\n".join(parts)


def problems(collected, catalogue_files, sources):
    german = {}
    texts = {}
    forms = {}
    for path in catalogue_files:
        for context, source, translation in messages(path):
            key = (context, source)
            # One finished entry is enough when concerns share a context.
            german[key] = german.get(key) or finished(translation)
            if finished(translation):
                texts[key] = translation.text or ""
                forms[key] = german_forms(translation)
    found = []
    for context, source, _ in messages(collected):
        key = (context, source)
        if source in KEPT_ENGLISH:
            found.append(f"kept English but passed to the translator: {context}: {source!r}")
        elif key not in german:
            found.append(f"missing: {context}: {source!r}")
        elif not german[key]:
            found.append(f"unfinished: {context}: {source!r}")
        else:
            for form in forms[key]:
                if markers(form) != markers(source):
                    found.append(f"placeholders differ: {context}: {source!r} has {markers(source)}, "
                                 f"the German {form!r} has {markers(form)}")
    for source in KEPT_ENGLISH:
        if f'"{source}"' not in sources:
            found.append(f"kept-English text no longer in the sources: {source!r}")
        for (context, text) in texts:
            if text == source:
                found.append(f"kept English but translated: {context}: {source!r}")
    for context, source, expected in EXACT:
        if texts.get((context, source)) != expected:
            found.append(f"German changed: {context}: {source!r} should read {expected!r}, "
                         f"reads {texts.get((context, source))!r}")
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--lupdate", default="lupdate")
    args = parser.parse_args()
    catalogue_dir = os.path.join(args.source_dir, "res", "translations")
    catalogue_files = sorted(os.path.join(catalogue_dir, f) for f in os.listdir(catalogue_dir)
                             if f.endswith("_de.ts"))
    with tempfile.TemporaryDirectory() as tmp:
        collected = os.path.join(tmp, "collected_de.ts")
        collect(args.lupdate, args.source_dir, collected)
        found = problems(collected, catalogue_files, source_texts(args.source_dir))
        count = sum(1 for _ in messages(collected))
    for line in found:
        print(line)
    print(f"{count} texts collected, {len(found)} problems")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
