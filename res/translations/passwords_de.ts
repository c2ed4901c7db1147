<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>LockedOverlay</name>
    <message>
        <source>Enter your password to unlock</source>
        <translation>Geben Sie Ihr Passwort zum Entsperren ein</translation>
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
        <source>Unable to open address</source>
        <translation>Die Web-Addresse kann nicht geöffnet werden</translation>
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
</TS>
