import QtQuick
import QtQuick.Controls
import Papelo

// The account tab: the sign-in form while signed out, the account page while
// signed in. All state lives in ProfileScreen.
Page {
    id: page
    title: "我的"

    property AuthManager auth: App.auth
    readonly property alias state: profile
    // The tab being shown is what counts, not pushes and pops inside it. The
    // stack attaches the page after creating it, so the first showing also
    // arrives as a change.
    readonly property bool tabShown: StackView.view !== null && StackView.view.current === true

    onTabShownChanged: if (tabShown) profile.appear()

    ProfileScreen {
        id: profile
        auth: page.auth
    }

    background: Rectangle { color: Theme.appBackground }

    FocusReveal { flickable: scroller.contentItem }

    ScrollView {
        id: scroller
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        Loader {
            id: face
            width: scroller.availableWidth
            sourceComponent: profile.isLoggedIn ? accountFace : signInFace
        }
    }

    Component {
        id: signInFace
        // A sign-in form stretched across a wide desktop window reads badly;
        // it keeps its insets inside a centred column.
        Item {
            implicitHeight: signInForm.implicitHeight
            ProfileSignInForm {
                id: signInForm
                state: profile
                width: Math.min(parent.width, 560)
                anchors.horizontalCenter: parent.horizontalCenter
            }
        }
    }

    Component {
        id: accountFace
        ProfileAccount {
            state: profile
            onArticleActivated: id => page.StackView.view.openArticle(id, false, profile.myArticles)
        }
    }
}
