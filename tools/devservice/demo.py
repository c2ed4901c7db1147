"""The data every reset starts from: the demo account with password entries and file safes, an
account with an SMS second factor, and the account of the worked sign-in example."""

DEMO_USER = "demo"
DEMO_PASSWORD = "Demo-Passw0rd"
SMS_USER = "demo-sms"
SMS_PASSWORD = "Sms-Passw0rd"
SMS_CODE = "2468"

ACCOUNTS = [
    {"name": DEMO_USER, "password": DEMO_PASSWORD, "salt": "5e1f3a9c0d2b4c6e8a7b9c1d3e5f7a9b",
     "second_factor": "none"},
    {"name": SMS_USER, "password": SMS_PASSWORD, "salt": "a4c2e6f8b0d1c3e5a7b9d2f4e6a8c0b1",
     "second_factor": "sms", "sms_code": SMS_CODE},
    {"name": "alice", "password": "password123", "salt": "beb25379d1a8581eb5a727673a2441ee",
     "second_factor": "none"},
]

PASSWORDS = {
    DEMO_USER: [
        {"title": "Mail", "username": "demo@example.org", "password": "correct horse battery staple",
         "url": "https://mail.example.org", "comment": "Personal mailbox"},
        {"title": "Bank", "username": "DE-4711", "password": "S3cure!Bank#2026",
         "url": "https://bank.example.com", "comment": ""},
        {"title": "Wi-Fi at home", "username": "", "password": "Küchentisch-42",
         "url": "", "comment": "WPA2, router in the hall"},
        {"title": "Shop", "username": "demo", "password": "correct horse battery staple",
         "url": "https://shop.example.net", "comment": "same password as Mail (breached check)"},
    ],
}

# (type, name, access, has_trash, quota bytes, {path: text content or None for a folder})
SAFES = {
    DEMO_USER: [
        ("PRIVATE", "Private", "rcud", True, 1 << 30, {
            "/Documents": None,
            "/Documents/Letters": None,
            "/Documents/Letters/landlord.txt": "Dear landlord,\nthe heating is broken again.\n",
            "/Documents/notes.md": "# Notes\n\n- buy milk\n- renew passport\n",
            "/Photos": None,
            "/Photos/README.txt": "Holiday pictures go here.\n",
            "/todo.txt": "1. sync\n2. relax\n",
        }),
        ("TEAMSAFE", "Team Alpha", "rcud", False, 100 << 20, {
            "/Projects": None,
            "/Projects/plan.txt": "Milestone 1: done\nMilestone 2: in progress\n",
            "/Projects/Budget": None,
            "/Projects/Budget/2026.csv": "item;amount\nservers;1200\ncoffee;300\n",
            "/Shared notes.txt": "Welcome to the team safe.\n",
        }),
        ("INBOX", "Inbox", "r", False, 10 << 20, {}),
        ("MAIL_IN", "Mail-in", "c", False, 10 << 20, {}),
    ],
    SMS_USER: [
        ("PRIVATE", "Private", "rcud", True, 1 << 30, {"/hello.txt": "hello\n"}),
    ],
    "alice": [
        ("PRIVATE", "Private", "rcud", True, 1 << 30, {}),
    ],
}
