<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CreateViewEditPasswordDialog</name>
    <message>
        <source>Add password</source>
        <translation>Neues Passwort</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Zeigen</translation>
    </message>
    <message>
        <source>Suggest</source>
        <translation>Vorschlagen</translation>
    </message>
    <message>
        <source>Web Address</source>
        <translation>Web-Adresse</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Bemerkung</translation>
    </message>
    <message>
        <source>[errortext]</source>
        <translation>[errortext]</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Password Entry</source>
        <translation>Passwort Eintrag</translation>
    </message>
    <message>
        <source>Edit password</source>
        <translation>Passwort bearbeiten</translation>
    </message>
    <message>
        <source>Invalid Data</source>
        <translation>Ungültige Daten</translation>
    </message>
    <message>
        <source>You entered invalid data</source>
        <translation>Sie haben ungültige Daten eingegeben</translation>
    </message>
    <message>
        <source>Unable to copy password</source>
        <translation>Kopieren von Passwort ist nicht möglich</translation>
    </message>
    <message>
        <source>The Password field is empty!</source>
        <translation>Das Passwort-Feld ist leer!</translation>
    </message>
    <message>
        <source>Unable to open address</source>
        <translation>Die Web-Adresse kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>The Web Address field is empty!</source>
        <translation>Das Web-Adresse-Feld ist leer!</translation>
    </message>
    <message>
        <source>Opening Web Address in browser</source>
        <translation>Web-Adresse im Browser geöffnet</translation>
    </message>
    <message>
        <source>Unable to open the Web Address</source>
        <translation>Die Web-Adresse konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Unable to copy username</source>
        <translation>Kopieren von Benutzername ist nicht möglich</translation>
    </message>
    <message>
        <source>The Username field is empty!</source>
        <translation>Das Benutzername-Feld ist leer!</translation>
    </message>
    <message>
        <source>Copied to clipboard</source>
        <translation>In die Zwischenablage kopiert</translation>
    </message>
</context>
<context>
    <name>LockedOverlay</name>
    <message>
        <source>Enter your password to unlock</source>
        <translation>Passwort zum Entsperren eingeben</translation>
    </message>
</context>
<context>
    <name>PasswordCellDelegate</name>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
</context>
<context>
    <name>PasswordController</name>
    <message>
        <source>Retrieving remote password...</source>
        <translation>Passwort wird vom Server geholt...</translation>
    </message>
    <message>
        <source>Failed to retrieve password from server!</source>
        <translation>Das Passwort konnte nicht vom Server geholt werden!</translation>
    </message>
    <message>
        <source>Password copied to clipboard</source>
        <translation>Passwort in die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>Copied to clipboard</source>
        <translation>In die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>Opening Web Address in browser</source>
        <translation>Web-Adresse im Browser geöffnet</translation>
    </message>
    <message>
        <source>Unable to open the Web Address</source>
        <translation>Die Web-Adresse konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Unable to open address</source>
        <translation>Die Web-Adresse kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Only web addresses (http or https) can be opened:
%1</source>
        <translation>Nur Web-Adressen (http oder https) können geöffnet werden:
%1</translation>
    </message>
</context>
<context>
    <name>PasswordStrengthIndicator</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>Strength:</source>
        <translation>Stärke:</translation>
    </message>
    <message>
        <source>weak</source>
        <translation>schwach</translation>
    </message>
    <message>
        <source>low</source>
        <translation>gering</translation>
    </message>
    <message>
        <source>medium</source>
        <translation>mittel</translation>
    </message>
    <message>
        <source>good</source>
        <translation>gut</translation>
    </message>
    <message>
        <source>very good</source>
        <translation>sehr gut</translation>
    </message>
</context>
<context>
    <name>PasswordsView</name>
    <message>
        <source>Lock</source>
        <translation>Sperren</translation>
    </message>
    <message>
        <source>Enter search text here</source>
        <translation>Suchtext hier eingeben</translation>
    </message>
    <message>
        <source>Refresh list</source>
        <translation>Liste aktualisieren</translation>
    </message>
    <message>
        <source>+</source>
        <translation>+</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>Last refresh: </source>
        <translation>Letzte Aktualisierung: </translation>
    </message>
    <message>
        <source>n.a.</source>
        <translation>k.A.</translation>
    </message>
    <message>
        <source>[passwords usage]</source>
        <translation>[passwords usage]</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/&quot;&gt;Upgrade&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/&quot;&gt;Upgrade&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Web Address</source>
        <translation>Web-Adresse</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Bemerkung</translation>
    </message>
    <message>
        <source>Number of passwords: %1</source>
        <translation>Anzahl Passwörter: %1</translation>
    </message>
    <message>
        <source>Used %1 password of %2 available</source>
        <translation>%1 von %2 verfügbaren Passwörtern verwendet</translation>
    </message>
    <message>
        <source>Used %1 passwords of %2 available</source>
        <translation>%1 von %2 verfügbaren Passwörtern verwendet</translation>
    </message>
    <message>
        <source>Password quota exceeded</source>
        <translation>Passwort-Kontingent ausgeschöpft</translation>
    </message>
    <message>
        <source>You used all the passwords available in your subscription. You can upgrade your subscription to increase this limit.</source>
        <translation>Sie haben alle Passwörter Ihres Abonnements verwendet. Mit einem Upgrade Ihres Abonnements können Sie dieses Limit erhöhen.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Failed to retrieve password from server for editing!</source>
        <translation>Das Passwort konnte zum Bearbeiten nicht vom Server geladen werden!</translation>
    </message>
    <message>
        <source>No password selected</source>
        <translation>Kein Passwort ausgewählt</translation>
    </message>
    <message>
        <source>Please select the password to be deleted!</source>
        <translation>Bitte wählen Sie das zu löschende Passwort aus!</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Are you sure you want to delete password %1 ?</source>
        <translation>Wollen Sie das Passwort %1 wirklich löschen?</translation>
    </message>
    <message>
        <source>Delete failed</source>
        <translation>Löschen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Unable to delete password</source>
        <translation>Das Passwort kann nicht gelöscht werden</translation>
    </message>
</context>
<context>
    <name>SearchComboBox</name>
    <message>
        <source>All fields</source>
        <translation>Alle Felder</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Web Address</source>
        <translation>Web-Adresse</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
</context>
<context>
    <name>SuggestPasswordDialog</name>
    <message>
        <source>Generate Password</source>
        <translation>Passwort generieren</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Lowercase only</source>
        <translation>Nur Kleinbuchstaben</translation>
    </message>
    <message>
        <source>Use numbers</source>
        <translation>Mit Zahlen</translation>
    </message>
    <message>
        <source>Use special characters</source>
        <translation>Mit Sonderzeichen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Memorizable Password</source>
        <translation>Einprägsames Passwort</translation>
    </message>
    <message>
        <source>Random Password</source>
        <translation>Zufälliges Passwort</translation>
    </message>
</context>
</TS>
