/* A GTK 4 window with the Orvane control, in C: buttons to update, show and
 * personalize the ads, and a label for the control's progress messages. The
 * control's events run on GTK's own main loop.
 *
 *   orvane-gtk-host [HOST PORT PRODUCT-GUID]
 *
 * Without arguments it uses the profile that `orvane configure` saved
 * ($XDG_CONFIG_HOME/Orvane/host.ini). Images and the data file live under
 * $XDG_DATA_HOME/Orvane. */
#include <orvane/orvane.h>

#include <gtk/gtk.h>

#include <stdio.h>

typedef struct Host
{
    OrvaneObject *control;
    GtkLabel *status;
    char **arguments;
    int argumentCount;
} Host;

/* Shows the text of a refusal (a result code other than 0). */
static void report(Host *host, int32_t code)
{
    OrvaneValue argument = {0};
    OrvaneValue text = {0};
    if (code == 0)
        return;
    argument.type = ORVANE_TYPE_INT;
    argument.i = code;
    if (OrvaneCall(host->control, "GetResultString", &argument, 1, &text) == ORVANE_S_OK)
        gtk_label_set_text(host->status, text.text);
    OrvaneValueClear(&text);
}

static void call(Host *host, const char *method)
{
    int32_t result = 0;
    if (OrvaneCallInt(host->control, method, &result) == ORVANE_S_OK)
        report(host, result);
}

static void onUpdate(GtkButton *button, gpointer data)
{
    (void)button;
    call(data, "StartTransfer");
}

static void onShow(GtkButton *button, gpointer data)
{
    (void)button;
    call(data, "Show");
}

static void onPersonalize(GtkButton *button, gpointer data)
{
    (void)button;
    call(data, "ShowPersonalizationForm");
}

static void onEvent(OrvaneObject *sender, const char *event, const OrvaneValue *args, int argCount, void *data)
{
    Host *host = data;
    (void)sender;
    if (g_strcmp0(event, "ProgressMessage") == 0 && argCount == 1)
        gtk_label_set_text(host->status, args[0].text);
    else if (g_strcmp0(event, "TransferComplete") == 0 && argCount == 1)
        gtk_label_set_text(host->status, args[0].i ? "Ads updated" : "Ads could not be updated");
}

/* The control's saved properties, then the per-user folders and the server
 * given on the command line. */
static int configure(Host *host)
{
    OrvaneObject *bag = NULL;
    OrvaneValue bagArgument = {0};
    char *profile = g_build_filename(g_get_user_config_dir(), "Orvane", "host.ini", NULL);
    char *data = g_build_filename(g_get_user_data_dir(), "Orvane", NULL);
    char *images = g_build_filename(data, "images", NULL);
    int rc = OrvaneCreateObject("Orvane.Orvane", &host->control);
    if (rc == ORVANE_S_OK && OrvaneCreateObject("Orvane.PropertyBag", &bag) == ORVANE_S_OK) {
        if (g_file_test(profile, G_FILE_TEST_EXISTS))
            OrvaneSetText(bag, "FileName", profile);
        bagArgument.type = ORVANE_TYPE_OBJECT;
        bagArgument.object = bag;
        OrvaneCall(host->control, "ReadProperties", &bagArgument, 1, NULL);
        OrvaneRelease(bag);
    }
    if (rc == ORVANE_S_OK) {
        char *folder = NULL;
        g_mkdir_with_parents(images, 0700);
        if (OrvaneGetText(host->control, "DataFolder", &folder) == ORVANE_S_OK && folder[0] == '\0') {
            OrvaneSetText(host->control, "DataFolder", data);
            OrvaneSetText(host->control, "ImageFolder", images);
        }
        OrvaneFree(folder);
        if (host->argumentCount == 4) {
            OrvaneSetText(host->control, "RemoteHost", host->arguments[1]);
            OrvaneSetText(host->control, "RemotePort", host->arguments[2]);
            OrvaneSetText(host->control, "ProductGUID", host->arguments[3]);
        }
        OrvaneConnect(host->control, "ProgressMessage", onEvent, host);
        OrvaneConnect(host->control, "TransferComplete", onEvent, host);
    }
    g_free(images);
    g_free(data);
    g_free(profile);
    return rc;
}

static GtkWidget *button(const char *label, GCallback handler, Host *host)
{
    GtkWidget *b = gtk_button_new_with_label(label);
    g_signal_connect(b, "clicked", handler, host);
    return b;
}

static void activate(GtkApplication *application, gpointer data)
{
    Host *host = data;
    GtkWidget *window = gtk_application_window_new(application);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    GtkWidget *buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    if (configure(host) != ORVANE_S_OK) {
        fprintf(stderr, "orvane-gtk-host: cannot create the Orvane control\n");
        g_application_quit(G_APPLICATION(application));
        return;
    }
    gtk_window_set_title(GTK_WINDOW(window), "Orvane GTK host");
    gtk_widget_set_margin_top(box, 12);
    gtk_widget_set_margin_bottom(box, 12);
    gtk_widget_set_margin_start(box, 12);
    gtk_widget_set_margin_end(box, 12);
    gtk_box_append(GTK_BOX(buttons), button("Update ads", G_CALLBACK(onUpdate), host));
    gtk_box_append(GTK_BOX(buttons), button("Show ads", G_CALLBACK(onShow), host));
    gtk_box_append(GTK_BOX(buttons), button("Personalize", G_CALLBACK(onPersonalize), host));
    host->status = GTK_LABEL(gtk_label_new("Ready"));
    gtk_box_append(GTK_BOX(box), buttons);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(host->status));
    gtk_window_set_child(GTK_WINDOW(window), box);
    gtk_window_present(GTK_WINDOW(window));
}

int main(int argc, char **argv)
{
    Host host = {0};
    GtkApplication *application = gtk_application_new("org.example.OrvaneGtkHost", G_APPLICATION_DEFAULT_FLAGS);
    int status;
    host.arguments = argv;
    host.argumentCount = argc;
    g_signal_connect(application, "activate", G_CALLBACK(activate), &host);
    /* The server settings are the host's own arguments, not GTK's. */
    status = g_application_run(G_APPLICATION(application), 1, argv);
    OrvaneRelease(host.control);
    g_object_unref(application);
    return status;
}
